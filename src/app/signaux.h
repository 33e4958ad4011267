#pragma once

#include <QObject>

class QSocketNotifier;

/**
 * SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) end the program as "Quitter" does: the
 * event loop returns and everything is torn down in order, helper processes included. The handler only
 * writes to a pipe that the event loop reads. Installed before the application object, so that a signal
 * that comes while it is built is kept until the loop runs; does nothing outside Unix.
 */
class ArretSurSignal final : public QObject
{
public:
    static void preparer();
    /** Watches the pipe from now on; needs the application object. */
    ArretSurSignal();

private:
    QSocketNotifier *notificateur = nullptr;
};
