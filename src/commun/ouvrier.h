#pragma once

#include <functional>
#include <memory>
#include <utility>

class QObject;

/**
 * The one way work leaves the GUI thread. A lane: its jobs run one at a time on a thread that nothing joins,
 * one of a few that every lane shares (more are made only while some are stuck);
 * a job asked for while another runs waits its turn, replacing any job that was waiting (a newer listing or
 * picture makes the older one worthless); a job's result comes back on the owner's thread by queued call,
 * unless the lane is gone by then. A job stuck in the kernel on a dead share therefore holds up nothing: not
 * the GUI thread, not another lane, not the exit.
 */
class Ouvrier final
{
public:
    /** Results are handed to destinataire's thread; going away waits up to delaiArretMs for a running job. */
    explicit Ouvrier(QObject *destinataire, int delaiArretMs = 0);
    ~Ouvrier();
    Ouvrier(const Ouvrier &) = delete;
    Ouvrier &operator=(const Ouvrier &) = delete;

    /** Where a job posts what it hands back to the owner's thread. */
    using Poste = std::function<void(std::function<void()>)>;

    /** Runs travail off this thread, then retour(result) on the owner's thread; returns at once. */
    template<typename Travail, typename Retour>
    void planifier(Travail travail, Retour retour)
    {
        lancer([travail = std::move(travail), retour = std::move(retour)](const Poste &poste) mutable {
            auto resultat = travail();
            poste([retour = std::move(retour), resultat = std::move(resultat)]() mutable {
                retour(std::move(resultat));
            });
        });
    }
    /** Runs a job that hands back what it wants, when it wants, through its Poste; unless remplacer, only
     * when no job is waiting already. */
    void lancer(std::function<void(const Poste &)> travail, bool remplacer = true);

    /** Drops the waiting job, tells the running one to stop, and waits up to msecs for it; false on time-out.
     * Later jobs are dropped; what a running job posts still arrives until the lane is destroyed. */
    bool arreter(int msecs);
    /** True on a lane's thread once that lane is stopping: long work gives up early. */
    static bool arretDemande();
    /** Whether a job of any lane still runs, stuck or not. */
    static bool travailEnCours();

private:
    struct Etat;
    static void vider(const std::shared_ptr<Etat> &etat);
    bool attendreLibre(int msecs);
    // Shared with the thread, which may outlive this object when its job is stuck in the kernel.
    std::shared_ptr<Etat> etat;
    const int delaiArretMs;
};
