#pragma once

#include "bureauwayland.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QTimer>

class QProcess;

/**
 * Wayland compositors with a background layer (wlr-layer-shell) and no settings of their own for it:
 * the picture is drawn by a swaybg child, which must stay alive for it to stay on the screen. One child
 * draws every output, each its own picture when each has one.
 */
class BureauCalque final : public BureauWayland
{
    Q_OBJECT
public:
    BureauCalque();
    /** Ends a child still starting, and leaves the one on the screen running so that the picture stays. */
    ~BureauCalque() override;

    QString nom() const override { return QStringLiteral("calque"); }

private:
    void envoyer(const QString &chemin, Disposition disposition, bool signaler) override;
    /** Reports what became of the picture awaiting a report, if any. */
    void conclure(Resultat resultat);
    void demarrer();
    void surveiller();
    void installer();
    void surFin(QProcess *processus, const QString &raison);
    void relancer();
    void finir(QProcess *processus);
    void finirAncien();

    const QString programme;
    QStringList arguments;
    // The picture whose fate is to be reported once its child has drawn it, or failed to.
    QString aSignaler;
    // The child whose picture is on the screen, and the one started to replace it, not yet drawn.
    QProcess *affiche = nullptr;
    QProcess *arrivant = nullptr;
    QSet<QProcess *> finissants;
    QTimer veille;
    QElapsedTimer age;
    qint64 dernierCpu = -1;
    int calmes = 0;
    QList<qint64> relances;
    QElapsedTimer horloge;
    // A child an earlier run left on the screen: its pid and start time, so a reused pid is never hit.
    qint64 ancienPid = 0;
    QByteArray ancienDebut;
    // Owns what answers the children: silenced first when going.
    QObject contexte;
};
