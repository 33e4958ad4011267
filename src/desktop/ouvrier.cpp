#include "ouvrier.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct Ouvrier::Etat
{
    std::mutex verrou;
    std::condition_variable fini;
    std::function<void(const Poste &)> enAttente;
    bool lance = false;
    std::atomic_bool arret {false};
    // Null once the lane is destroyed: results of jobs that outlive it go nowhere.
    QObject *destinataire = nullptr;
};

namespace {
thread_local const std::atomic_bool *arretDuFil = nullptr;
} // namespace

void Ouvrier::vider(const std::shared_ptr<Etat> &etat)
{
    arretDuFil = &etat->arret;
    const Poste poste = [etat](std::function<void()> f) {
        // Held while posting, so that the receiver cannot go between the check and the post.
        std::lock_guard garde(etat->verrou);
        if (etat->destinataire)
            QMetaObject::invokeMethod(etat->destinataire, std::move(f), Qt::QueuedConnection);
    };
    for (;;) {
        std::function<void(const Poste &)> travail;
        {
            std::lock_guard garde(etat->verrou);
            if (!etat->enAttente) {
                etat->lance = false;
                etat->fini.notify_all();
                return;
            }
            travail = std::move(etat->enAttente);
            etat->enAttente = nullptr;
        }
        travail(poste);
    }
}

Ouvrier::Ouvrier(QObject *destinataire, int delaiArretMs)
    : etat(std::make_shared<Etat>())
    , delaiArretMs(delaiArretMs)
{
    etat->destinataire = destinataire;
}

Ouvrier::~Ouvrier()
{
    arreter(delaiArretMs);
    std::lock_guard garde(etat->verrou);
    etat->destinataire = nullptr;
}

void Ouvrier::lancer(std::function<void(const Poste &)> travail, bool remplacer)
{
    std::lock_guard garde(etat->verrou);
    if (etat->arret || (!remplacer && etat->enAttente))
        return;
    etat->enAttente = std::move(travail);
    if (etat->lance)
        return;
    etat->lance = true;
    std::thread([e = etat] { vider(e); }).detach();
}

bool Ouvrier::occupe() const
{
    std::lock_guard garde(etat->verrou);
    return etat->lance;
}

bool Ouvrier::attendre(int msecs)
{
    if (!attendreLibre(msecs))
        return false;
    QObject *destinataire;
    {
        std::lock_guard garde(etat->verrou);
        destinataire = etat->destinataire;
    }
    if (destinataire)
        QCoreApplication::sendPostedEvents(destinataire, QEvent::MetaCall);
    return true;
}

bool Ouvrier::attendreLibre(int msecs)
{
    std::unique_lock garde(etat->verrou);
    const auto libre = [this] {
        return !etat->lance;
    };
    if (msecs < 0) {
        etat->fini.wait(garde, libre);
        return true;
    }
    return etat->fini.wait_for(garde, std::chrono::milliseconds(msecs), libre);
}

bool Ouvrier::arreter(int msecs)
{
    {
        std::lock_guard garde(etat->verrou);
        etat->arret = true;
        etat->enAttente = nullptr;
    }
    return attendreLibre(msecs);
}

bool Ouvrier::arretDemande()
{
    return arretDuFil && *arretDuFil;
}
