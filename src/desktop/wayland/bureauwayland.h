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
    bool exigeDecodable() const override { return true; }
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

protected:
    explicit BureauWayland(const QString &nomMagasin);
    /** The name swaybg and sway's "output bg" give a layout. */
    static QString mode(Disposition disposition);
    /** Shows the picture in the layout; with signaler, reports what became of it. */
    virtual void envoyer(const QString &chemin, Disposition disposition, bool signaler) = 0;
    /** Waits for the check of a picture sent again in a new layout, and lets it be sent; false on time-out.
     */
    bool attendreVerification(int msecs);

private:
    Magasin magasin;
    // The last picture asked for, shown or on its way; a new layout sends it again.
    QString demandee;
    // Counts the pictures asked for: a new layout's redraw checked meanwhile would bring back an older one.
    quint64 demandes = 0;
    // The current picture is checked again before it is sent in a new layout: it may have gone since.
    Ouvrier verification {this};
};
