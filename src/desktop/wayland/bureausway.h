#pragma once

#include "bureauwayland.h"

#include <QByteArray>

#include <functional>
#include <optional>

/**
 * sway and the wlroots compositors that speak its IPC, found through SWAYSOCK. The picture goes out as an
 * "output * bg" command in sway's own layout, which its swaybg draws on every output at that output's size.
 */
class BureauSway final : public BureauWayland
{
    Q_OBJECT
public:
    BureauSway();

    QString nom() const override { return QStringLiteral("sway"); }
    QList<Ecran> lireEcrans() const override { return sorties; }

private:
    struct Envoi
    {
        // The commands with the pictures' own paths, in sway's layout.
        QList<QByteArray> commandes;
        QString chemin;
        Disposition disposition = dispositionParDefaut;
        bool signaler = false;
    };
    using Reponse = std::function<void(const QString &probleme, const QByteArray &reponse)>;
    void envoyer(const QString &chemin, Disposition disposition, bool signaler) override;
    void lancer(const Envoi &envoi);
    void commander(const Envoi &envoi, const QByteArray &suffixe);
    /** Asks sway for its outputs, and says when they changed. */
    void lireSorties();
    void finir(const Envoi &envoi, const QString &probleme, bool accepte = false);
    /** One message on a connection of its own; repondre gets the reply, or what went wrong. An abonnement
     * keeps the connection, and repondre gets every event after the reply. */
    void demander(qint32 type, const QByteArray &charge, Reponse repondre, bool abonnement = false);

    const QString socket;
    // Requests go one at a time, so sway sees them in the order asked; only the newest waits.
    bool enVol = false;
    std::optional<Envoi> suivante;
    QList<Ecran> sorties;
};
