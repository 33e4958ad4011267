#pragma once

#include "bureauwayland.h"
#include "desktop/attente.h"

#include <QByteArray>

#include <optional>

/**
 * sway and the wlroots compositors that speak its IPC, found through SWAYSOCK. The picture goes out
 * as an "output * bg" command.
 */
class BureauSway final : public BureauWayland
{
    Q_OBJECT
public:
    BureauSway();

    QString nom() const override;
    bool attendre(int msecs = -1) override;

private:
    struct Envoi
    {
        QByteArray commande;
        QString chemin;
        bool signaler = false;
        // The colour sway's configuration names is sent along.
        bool entouree = false;
    };
    void envoyer(const QString &chemin, Disposition disposition, bool signaler) override;
    void lancer(const Envoi &envoi);

    const QString socket;
    // Requests go one at a time, so sway sees them in the order asked; only the newest waits.
    bool enVol = false;
    std::optional<Envoi> suivante;
    Attente attente;
};
