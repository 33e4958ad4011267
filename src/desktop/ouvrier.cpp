#include "ouvrier.h"
#include "bureau.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// Leaving must not wait long on a picture: what is not handed over by then is given up.
constexpr int delaiArretMs = 500;
} // namespace

struct Ouvrier::Etat
{
    std::mutex verrou;
    std::condition_variable fini;
    std::function<void()> enAttente;
    bool lance = false;
    std::atomic_bool arret {false};
};

namespace {
thread_local const std::atomic_bool *arretDuFil = nullptr;
} // namespace

void Ouvrier::vider(const std::shared_ptr<Etat> &etat)
{
    arretDuFil = &etat->arret;
    for (;;) {
        std::function<void()> travail;
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
        travail();
    }
}

Ouvrier::Ouvrier()
    : etat(std::make_shared<Etat>())
{
}

Ouvrier::~Ouvrier()
{
    if (!arreter(delaiArretMs))
        qCWarning(lcBureau) << "leaving a drawing behind that did not stop within" << delaiArretMs << "ms";
}

void Ouvrier::planifier(std::function<void()> travail)
{
    std::lock_guard garde(etat->verrou);
    if (etat->arret)
        return;
    etat->enAttente = std::move(travail);
    if (etat->lance)
        return;
    etat->lance = true;
    std::thread([e = etat] { vider(e); }).detach();
}

bool Ouvrier::attendre(int msecs)
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
    return attendre(msecs);
}

bool Ouvrier::arretDemande()
{
    return arretDuFil && *arretDuFil;
}
