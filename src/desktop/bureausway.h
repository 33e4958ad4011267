#pragma once

#include "attente.h"
#include "bureau.h"
#include "magasin.h"

#include <QByteArray>

#include <optional>

/**
 * sway and the wlroots compositors that speak its IPC, found through SWAYSOCK. The picture goes out
 * as an "output * bg" command; the layout lives in a store of ours, since sway cannot be asked for it.
 */
class BureauSway final : public Bureau
{
public:
    BureauSway();

    QString nom() const override;
    void remettre(const QString &chemin) override;
    // sway takes a broken file without a word and shows nothing in its place.
    bool exigeDecodable() const override { return true; }
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

private:
    void envoyer(const QString &chemin, int position);
    void lancer(const QByteArray &message);

    const QString socket;
    Magasin magasin;
    // Requests go one at a time, so sway sees them in the order asked; only the newest waits.
    bool enVol = false;
    std::optional<QByteArray> suivante;
    Attente attente;
};
