#pragma once

#include <QObject>

#include <functional>

#ifdef QT_DBUS_LIB
#include <QDBusMessage>
#endif

/**
 * Counts the requests a backend has sent to its desktop and not yet seen answered, so that
 * Bureau::attendre() can run the event loop until they are. Owned by the backend and declared last,
 * so that what is in flight is dropped before the rest of the backend goes.
 */
class Attente final : public QObject
{
    Q_OBJECT
public:
    /** One more request in flight. */
    void commencer();
    /** One request answered, failed or given up. */
    void terminer();
    /** True while a request is in flight. */
    bool occupee() const { return enCours > 0; }
    /** Runs the event loop until nothing is in flight or msecs pass (-1: no limit); false on time-out. */
    bool attendre(int msecs);

#ifdef QT_DBUS_LIB
    /** Sends a call on the session bus without waiting; repondre gets the reply or the error (at once without
     * a bus). */
    void appelerDBus(const QDBusMessage &appel, std::function<void(const QDBusMessage &)> repondre,
                     int delaiMs = 5000);
#endif

signals:
    void toutesTerminees();

private:
    int enCours = 0;
};
