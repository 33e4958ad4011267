#pragma once

#include "bureau.h"
#include "magasin.h"
#include "ouvrier.h"

/**
 * A bare X server, where no desktop program owns the background (i3, openbox…): draws the picture
 * into a root pixmap of its own, published the way X11 setters do. The layout lives in a small
 * store of ours, since such a session has no desktop setting for it.
 */
class BureauX11 final : public Bureau
{
public:
    BureauX11();

    QString nom() const override;
    void appliquerFondEcran(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;

    /** Shows the picture in that layout without storing the layout; returns at once. */
    void appliquerFondEcran(const QString &chemin, int position);
    /** Waits until every queued picture is on the screen (or given up); false on timeout. */
    bool attendre(int msecs = -1) override;

    /** The file the layout and the last picture shown are kept in. */
    static QString cheminMagasin();

private:
    void planifier(const QString &chemin, int position);

    Magasin magasin;
    QString courant;
    // Last member: destroyed first, so the work in flight finishes while the rest still exists.
    Ouvrier ouvrier;
};
