#include "detache.h"

#include <QMutexLocker>

#include <thread>

Boite::Boite(QObject *destinataire)
    : destinataire(destinataire)
{
}

void Boite::fermer()
{
    const QMutexLocker garde(&verrou);
    destinataire = nullptr;
}

void Boite::poster(std::function<void()> f)
{
    // Held while posting, so the receiver cannot be deleted between the check and the post.
    const QMutexLocker garde(&verrou);
    if (destinataire)
        QMetaObject::invokeMethod(destinataire, std::move(f), Qt::QueuedConnection);
}

void lancerDetache(std::function<void()> travail)
{
    std::thread(std::move(travail)).detach();
}
