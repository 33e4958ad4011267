#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/image/rendu.h"
#include "desktop/linux/magasin.h"

#include <QList>
#include <QObject>
#include <QPair>
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
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    /** The picture of each monitor, by its place; a monitor not in it shows the first one's. */
    using Affectation = QList<QPair<QRect, QString>>;
    /** Draws the pictures on the worker thread; none draws those shown again, for new screens. */
    void planifier(const Affectation &affectation, Disposition disposition);
    Resultat afficher(const Affectation &affectation, Disposition disposition);
    void surveillerEcrans();
    void on_ecransChanges();

    Magasin magasin;
    // The picture whose fate is still to be reported: a new layout draws it rather than the one shown.
    QString aSignaler;
    Affectation demandee;
    // Worker thread only: what the root shows, and the pictures drawn for it, one per picture.
    Affectation affichee;
    Disposition dispositionAffichee = dispositionParDefaut;
    QList<RenduEcrans> rendus;
    QSize racineAffichee;
    QList<QRect> ecransAffiches;
    // A connection of its own that hears of monitor changes; opened by the worker, then read on this thread.
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> veille;
    std::unique_ptr<QSocketNotifier> notificateur;
    QObject contexte;
    // Last member: destroyed first, so the work in flight finishes while the rest still exists.
    Ouvrier ouvrier {&contexte, 500};
};
