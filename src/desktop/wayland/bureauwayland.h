#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/linux/magasin.h"

/**
 * What the Wayland backends share: the compositor keeps no layout we can read, so it lives in our store, and
 * a new layout is shown by sending the current picture again; what they are given must decode, since they
 * show a broken file as an empty screen.
 */
class BureauWayland : public Bureau
{
public:
    void montrer(const QString &chemin) override;
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    bool exigeDecodable() const override { return true; }
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

protected:
    explicit BureauWayland(const QString &nomMagasin);
    /** The name swaybg and sway's "output bg" give a layout. */
    static QString mode(Disposition disposition);
    /** Shows the picture in the layout; with signaler, reports what became of it. */
    virtual void envoyer(const QString &chemin, Disposition disposition, bool signaler) = 0;

    // Each output's picture, by name, when each has its own, the primary's first; empty when one shows on
    // all.
    QList<QPair<QString, QString>> parSortie;

private:
    /** Checks the picture off this thread, then sends it unless a newer request came meanwhile. */
    void verifierPuisEnvoyer(const QString &chemin, Disposition disposition, bool signaler);
    /** Sends a checked picture, or round of pictures, at once. */
    void envoyerNouvelle(const QString &chemin);

    Magasin magasin;
    // The picture on its way, not yet reported: a new layout sends it rather than the one shown.
    QString enCours;
    // Counts the requests: one checked after a newer was asked would bring back an older picture or layout.
    quint64 demandes = 0;
    Ouvrier verification {this};
};
