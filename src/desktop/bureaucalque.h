#pragma once

#include "attente.h"
#include "bureau.h"
#include "magasin.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QTimer>

class QProcess;

/**
 * Wayland compositors with a background layer (wlr-layer-shell) and no settings of their own for it:
 * the picture is drawn by a swaybg child, which must stay alive for it to stay on the screen. The layout
 * lives in a store of ours.
 */
class BureauCalque final : public Bureau
{
public:
    BureauCalque();
    /** Ends a child still starting, and leaves the one on the screen running so that the picture stays. */
    ~BureauCalque() override;

    QString nom() const override;
    void remettre(const QString &chemin) override;
    // swaybg paints the screen black when it cannot load the picture.
    bool exigeDecodable() const override { return true; }
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    /** Waits until the last picture asked for is drawn and the child before it ended (or given up). */
    bool attendre(int msecs = -1) override;

    /** Where the child left on the screen by an earlier run is named, so that the next run can end it. */
    static QString cheminTemoin();

private:
    void envoyer(const QString &chemin, int position);
    void demarrer();
    void surveiller();
    void installer();
    void surFin(QProcess *processus, const QString &raison);
    void relancer();
    void finir(QProcess *processus);
    void finirAncien();

    const QString programme;
    Magasin magasin;
    QStringList arguments;
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
    Attente attente;
};
