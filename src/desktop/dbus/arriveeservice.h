#pragma once

#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QDBusServiceWatcher;
class QTimer;

/**
 * A desktop's service that is not on the session bus yet, as at login when the program starts beside the
 * shell. While waiting, essayer() comes when its name does, and every few seconds (a service may own its name
 * before it takes requests); expiree() comes once the bound passes with no success.
 */
class ArriveeService final : public QObject
{
    Q_OBJECT
public:
    explicit ArriveeService(const QString &service, QObject *parent = nullptr);

    /** Whether an error says the service is not there, rather than that it refused. */
    static bool absent(const QDBusError &erreur);

    /** Starts waiting, unless already waiting. */
    void attendre();
    /** Stops waiting: the service answered. */
    void arreter();
    bool enCours() const;

signals:
    void essayer();
    void expiree();

private:
    QDBusServiceWatcher *veille;
    QTimer *relance;
    QElapsedTimer depuis;
};

/** Sends a call on the session bus without waiting; repondre gets the reply or the error (at once without a
 * bus), unless contexte is gone by then. */
void appelerDBus(QObject *contexte, const QDBusMessage &appel,
                 std::function<void(const QDBusMessage &)> repondre, int delaiMs = 5000);
