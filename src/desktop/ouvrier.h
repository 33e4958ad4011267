#pragma once

#include <QMutex>
#include <QThreadPool>

#include <functional>

/**
 * One background thread for a backend's slow work (decoding, writing files): while a job runs, only the
 * latest job asked for waits its turn, since a picture that would be replaced at once is not worth showing.
 */
class Ouvrier final
{
public:
    Ouvrier();
    /** Waits for the job in flight and the one waiting, so that the last request is never lost. */
    ~Ouvrier();
    Ouvrier(const Ouvrier &) = delete;
    Ouvrier &operator=(const Ouvrier &) = delete;

    /** Runs the job on the thread, replacing any job not yet started; returns at once. */
    void planifier(std::function<void()> travail);
    /** Waits until no job is left; false if msecs (-1: no limit) passed first. */
    bool attendre(int msecs = -1);

private:
    void vider();

    QMutex verrou;
    std::function<void()> enAttente;
    bool lance = false;
    QThreadPool pool;
};
