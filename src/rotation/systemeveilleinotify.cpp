#include "systemeveille.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

namespace {
// What changes the pictures a folder holds; not IN_MODIFY, which a large copy sends by the thousand.
constexpr uint32_t evenements = IN_CREATE | IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO
    | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

class SystemeInotify final : public SystemeVeille
{
public:
    SystemeInotify(QObject *parent, Recepteur recepteur)
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , recepteur(std::move(recepteur))
    {
        if (fd < 0)
            return;
        avis = new QSocketNotifier(fd, QSocketNotifier::Read, parent);
        repos = new QTimer(parent);
        repos->setSingleShot(true);
        repos->setInterval(reposMs);
        QObject::connect(avis, &QSocketNotifier::activated, avis, [this] { lire(); });
        QObject::connect(repos, &QTimer::timeout, avis, [this] { avis->setEnabled(true); });
    }
    ~SystemeInotify() override
    {
        if (fd >= 0)
            close(fd);
    }

    Marque poser(const QString &dossier) const override
    {
        const int wd
            = fd < 0 ? -1 : inotify_add_watch(fd, QFile::encodeName(dossier).constData(), evenements);
        return wd < 0 ? 0 : wd;
    }
    void suivre(Marque) override { }
    void liberer(Marque marque) override { inotify_rm_watch(fd, int(marque)); }
    void fermer() override
    {
        delete avis;
        delete repos;
        avis = nullptr;
        repos = nullptr;
    }

private:
    void lire()
    {
        // Held back until the pause is over: events queue in the kernel meanwhile, read in one go.
        avis->setEnabled(false);
        repos->start();
        QSet<Marque> marques, perdues;
        bool toutes = false;
        alignas(inotify_event) char tampon[64 * 1024];
        for (;;) {
            const ssize_t lus = read(fd, tampon, sizeof tampon);
            if (lus <= 0)
                break;
            for (ssize_t i = 0; i < lus;) {
                const auto *e = reinterpret_cast<const inotify_event *>(tampon + i);
                i += ssize_t(sizeof(inotify_event)) + e->len;
                if (e->mask & IN_Q_OVERFLOW)
                    toutes = true;
                else
                    marques.insert(e->wd);
                if (e->mask & IN_IGNORED)
                    perdues.insert(e->wd);
            }
        }
        recepteur(marques, toutes, perdues);
    }

    const int fd;
    Recepteur recepteur;
    QSocketNotifier *avis = nullptr;
    QTimer *repos = nullptr;
};
} // namespace

std::shared_ptr<SystemeVeille> creerSystemeVeille(QObject *parent, SystemeVeille::Recepteur recepteur)
{
    return std::make_shared<SystemeInotify>(parent, std::move(recepteur));
}
