#pragma once

#include "bureauwayland.h"
#include "commun/ouvrier.h"
#include "desktop/linux/attente.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <optional>

/**
 * sway and the wlroots compositors that speak its IPC, found through SWAYSOCK. The picture goes out
 * as an "output * bg" command: in a layout that covers the screen, drawn by us at each output's size into a
 * file swaybg loads at once, rather than left for swaybg to decode and scale.
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
        // The command with the picture's own path, in sway's layout.
        QByteArray commande;
        QString chemin;
        Disposition disposition = dispositionParDefaut;
        bool signaler = false;
    };
    using Reponse = std::function<void(const QString &probleme, const QByteArray &reponse)>;
    void envoyer(const QString &chemin, Disposition disposition, bool signaler) override;
    void lancer(const Envoi &envoi);
    /** Draws the picture for the outputs of that GET_OUTPUTS reply, then has it shown. */
    void dessiner(const Envoi &envoi, const QByteArray &sorties);
    /** Runs a command; the files drawn for it are kept once shown, removed if not. */
    void commander(const Envoi &envoi, const QByteArray &commande, const QStringList &fichiers = {});
    void finir(const Envoi &envoi, const QString &probleme, bool accepte = false);
    /** One message on a connection of its own; repondre gets the reply, or what went wrong. */
    void demander(qint32 type, const QByteArray &charge, Reponse repondre);

    const QString socket;
    // Requests go one at a time, so sway sees them in the order asked; only the newest waits.
    bool enVol = false;
    std::optional<Envoi> suivante;
    Attente attente;
    // Draws and removes our files. Last: goes first, dropping what it would hand back.
    Ouvrier dessin {this};
};
