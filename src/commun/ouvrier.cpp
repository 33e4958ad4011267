#include "ouvrier.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
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

// The threads lanes run on. A few take every lane's turns, so that a hundred thousand lanes do not make a
// hundred thousand threads; when none is free and none has finished a turn for a while (stuck on a dead
// share, say), one more is made, so that a stuck lane holds up nothing else. Idle threads leave after a
// while.
class Reserve
{
public:
    static Reserve &instance()
    {
        // Never destroyed: threads may still wait on it while the process exits.
        static Reserve *reserve = new Reserve;
        return *reserve;
    }

    void confier(std::function<void()> tour)
    {
        std::lock_guard garde(verrou);
        file.push_back(std::move(tour));
        // A thread woken but not yet running still counts as free: compare with what waits, not with zero.
        if (qsizetype(file.size()) <= libres)
            reveil.notify_one();
        else if (fils < filsOrdinaires)
            creerFil();
        else if (!surveillant)
            creerSurveillant();
    }

    bool occupee()
    {
        std::lock_guard garde(verrou);
        return fils > libres;
    }

private:
    static constexpr int filsOrdinaires = 4;
    static constexpr auto repos = std::chrono::seconds(10);
    static constexpr auto patience = std::chrono::milliseconds(100);

    void creerFil()
    {
        ++fils;
        std::thread([this] { travailler(); }).detach();
    }
    void creerSurveillant()
    {
        surveillant = true;
        std::thread([this] { surveiller(); }).detach();
    }
    void travailler()
    {
        std::unique_lock garde(verrou);
        for (;;) {
            ++libres;
            const bool prevenu = reveil.wait_for(garde, repos, [this] { return !file.empty(); });
            --libres;
            if (!prevenu) {
                --fils;
                return;
            }
            std::function<void()> tour = std::move(file.front());
            file.pop_front();
            ++tours;
            garde.unlock();
            tour();
            garde.lock();
        }
    }
    void surveiller()
    {
        std::unique_lock garde(verrou);
        quint64 vus = tours;
        for (;;) {
            garde.unlock();
            std::this_thread::sleep_for(patience);
            garde.lock();
            if (file.empty()) {
                surveillant = false;
                return;
            }
            if (tours == vus && qsizetype(file.size()) > libres)
                creerFil();
            vus = tours;
        }
    }

    std::mutex verrou;
    std::condition_variable reveil;
    std::deque<std::function<void()>> file;
    int libres = 0;
    int fils = 0;
    quint64 tours = 0;
    bool surveillant = false;
};
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
                arretDuFil = nullptr;
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
    Reserve::instance().confier([e = etat] { vider(e); });
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

bool Ouvrier::travailEnCours()
{
    return Reserve::instance().occupee();
}

bool Ouvrier::arretDemande()
{
    return arretDuFil && *arretDuFil;
}
