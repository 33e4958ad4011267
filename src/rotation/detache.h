#pragma once

#include <QMutex>
#include <QObject>

#include <functional>
#include <memory>

/**
 * Where work running on a detached thread hands its result back: to the receiver's thread, by queued call,
 * as long as the receiver has not closed the box. A thread stuck in the kernel on a dead share then costs
 * nothing: no one waits for it, and its late result goes nowhere.
 */
class Boite final
{
public:
    explicit Boite(QObject *destinataire);
    /** From the receiver's thread, before it goes: later results are dropped. */
    void fermer();
    /** Runs f on the receiver's thread, unless the box is closed. */
    void poster(std::function<void()> f);

private:
    QMutex verrou;
    QObject *destinataire;
};

/** Runs travail on a thread of its own that nothing ever joins; exit does not wait for it. */
void lancerDetache(std::function<void()> travail);
