#include "systemeveille.h"

#include <QDir>
#include <QTimer>
#include <QWinEventNotifier>

#include <windows.h>

namespace {
class SystemeWindows final : public SystemeVeille
{
public:
    SystemeWindows(QObject *parent, Recepteur recepteur)
        : parent(parent)
        , recepteur(std::move(recepteur))
    {
    }

    Marque poser(const QString &dossier) const override
    {
        // A handle per call: each listing that asks for a watch gets its own, and the one before is let go.
        const HANDLE h = FindFirstChangeNotificationW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(dossier).utf16()), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_ATTRIBUTES);
        return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<Marque>(h);
    }
    void suivre(Marque marque) override
    {
        const HANDLE h = reinterpret_cast<HANDLE>(marque);
        auto *avis = new QWinEventNotifier(h, parent);
        auto *repos = new QTimer(avis);
        repos->setSingleShot(true);
        repos->setInterval(reposMs);
        QObject::connect(avis, &QWinEventNotifier::activated, avis, [this, avis, repos, marque] {
            // Held back until the pause is over; changes meanwhile are kept by the system and arrive then.
            avis->setEnabled(false);
            repos->start();
            recepteur({marque}, false, {});
        });
        QObject::connect(repos, &QTimer::timeout, avis, [this, avis, h, marque] {
            if (FindNextChangeNotification(h)) {
                avis->setEnabled(true);
                return;
            }
            // The folder is gone: so is the watch.
            liberer(marque);
            recepteur({marque}, false, {marque});
        });
        avisParMarque.insert(marque, avis);
    }
    void liberer(Marque marque) override
    {
        // Later: this may run from the notifier's own timer.
        if (QWinEventNotifier *avis = avisParMarque.take(marque)) {
            avis->setEnabled(false);
            avis->deleteLater();
        }
        FindCloseChangeNotification(reinterpret_cast<HANDLE>(marque));
    }
    void fermer() override
    {
        qDeleteAll(avisParMarque);
        avisParMarque.clear();
    }

private:
    QObject *parent;
    Recepteur recepteur;
    QHash<Marque, QWinEventNotifier *> avisParMarque;
};
} // namespace

std::shared_ptr<SystemeVeille> creerSystemeVeille(QObject *parent, SystemeVeille::Recepteur recepteur)
{
    return std::make_shared<SystemeWindows>(parent, std::move(recepteur));
}
