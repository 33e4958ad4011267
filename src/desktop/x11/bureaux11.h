#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/image/rendu.h"
#include "desktop/linux/magasin.h"

#include <QList>
#include <QObject>
#include <QRect>

#include <memory>
#include <optional>

class QSocketNotifier;
struct xcb_connection_t;

/**
 * A bare X server, where no desktop program owns the background (i3, openbox…): draws the picture on each
 * monitor in the layout, into one root pixmap of its own, published the way X11 setters do, and draws it
 * again when the monitors change. The layout lives in a small store of ours, since such a session has no
 * desktop setting for it.
 */
class BureauX11 final : public Bureau
{
    Q_OBJECT
public:
    BureauX11();
    ~BureauX11() override;

    QString nom() const override { return QStringLiteral("x11"); }
    bool accepteNomsBruts() const override { return true; }
    void montrer(const QString &chemin) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    /** Draws the picture on the worker thread; an empty path draws the one shown again, for new screens. */
    void planifier(const QString &chemin, Disposition disposition);
    Resultat afficher(const QString &chemin, Disposition disposition);
    void surveillerEcrans();
    void on_ecransChanges();

    Magasin magasin;
    // The picture whose fate is still to be reported: a new layout draws it rather than the one shown.
    QString aSignaler;
    // Worker thread only: what the root shows, and the pictures drawn for it.
    RenduEcrans rendus;
    QSize racineAffichee;
    QList<QRect> ecransAffiches;
    // A connection of its own that hears of monitor changes; opened by the worker, then read on this thread.
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> veille;
    std::unique_ptr<QSocketNotifier> notificateur;
    QObject contexte;
    // Last member: destroyed first, so the work in flight finishes while the rest still exists.
    Ouvrier ouvrier {&contexte, 500};
};
