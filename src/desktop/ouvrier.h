#pragma once

#include <functional>
#include <memory>

/**
 * One background thread for a backend's slow work (decoding, writing files): while a job runs, only the
 * latest job asked for waits its turn, since a picture that would be replaced at once is not worth showing.
 * A job gives up what it has not handed over yet once arretDemande() is true, and touches its owner only
 * before that or in a hand-over already begun: past the bound of leaving, it runs on alone.
 */
class Ouvrier final
{
public:
    Ouvrier();
    /** Stops as arreter() does, with a short bound; a job still running then is left to end on its own. */
    ~Ouvrier();
    Ouvrier(const Ouvrier &) = delete;
    Ouvrier &operator=(const Ouvrier &) = delete;

    /** Runs the job on the thread, replacing any job not yet started; returns at once. */
    void planifier(std::function<void()> travail);
    /** Waits until no job is left; false if msecs (-1: no limit) passed first. */
    bool attendre(int msecs = -1);
    /** Drops the job waiting, tells the one running to stop and waits up to msecs for it; false on time-out.
     * Jobs asked for later are dropped. */
    bool arreter(int msecs);
    /** True on an Ouvrier's thread once that Ouvrier is stopping. */
    static bool arretDemande();

private:
    struct Etat;
    static void vider(const std::shared_ptr<Etat> &etat);
    // Shared with the thread, which may outlive this object when its job is stuck in the kernel.
    std::shared_ptr<Etat> etat;
};
