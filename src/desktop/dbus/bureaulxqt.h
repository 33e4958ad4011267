#pragma once

#include "arriveeservice.h"
#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/image/rendu.h"
#include "desktop/linux/magasin.h"

#include <QList>
#include <QRect>

/**
 * LXQt, whose desktop is drawn by pcmanfm-qt: asked over D-Bus, or through its command line when the
 * running instance does not answer there. pcmanfm-qt 1.2 ignores "zoom" and, once another mode was set,
 * never returns to the one it started in; so the picture is drawn here, on each screen in the layout asked
 * for, and handed over as a file of the desktop's size that shows the same in every mode. A change of screens
 * draws it again. The layout lives in a store of ours, pcmanfm-qt's own settings being per profile and
 * rewritten by it.
 */
class BureauLxqt final : public Bureau
{
    Q_OBJECT
public:
    BureauLxqt();
    /** Hands a picture drawn already over to the desktop before going, within about a second. */
    ~BureauLxqt() override;

    QString nom() const override { return QStringLiteral("lxqt"); }
    bool accepteNomsBruts() const override { return true; }
    void montrer(const QString &chemin) override;
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    struct Demande
    {
        QString chemin;
        Disposition disposition = dispositionParDefaut;
        QSize bureau;
        QList<QRect> ecrans;
        // Each screen its own picture, in the desktop's pixels; empty when one shows on all.
        QList<QPair<QRect, QString>> places;
        // Ours, shown last: what is redrawn when the desktop shows no picture of its own.
        QString derniere;
    };

    /** Draws the picture for the screens as they are now, an empty path the one the desktop shows; with
     * ecransSeulement, only if they changed. */
    void planifier(const QString &chemin, Disposition disposition, bool ecransSeulement = false);
    /** On the worker: the file handed to the desktop, empty when there is none; why in resultat. */
    QString dessiner(const Demande &demande, Resultat *resultat);
    void envoyer(const QString &rendu, const QString &chemin);
    /** No bus here: pcmanfm-qt's command line hands the picture to the instance on its own bus. */
    void confier(const QString &rendu, const QString &chemin);
    void conclure(const QString &chemin, Resultat resultat);
    void on_ecransChanges();

    Magasin magasin;
    // This thread: the screens last drawn for, and whether anything was drawn by this process.
    QSize bureauDessine;
    QList<QRect> ecransDessines;
    bool actif = false;
    // Each screen's picture, while each has its own.
    QList<Ecran> ecransPropres;
    QStringList cheminsPropres;
    // Before pcmanfm-qt's desktop is on the bus (a session starting): the last drawn picture, sent once it
    // is.
    QString renduEnAttente, cheminEnAttente;
    ArriveeService arrivee {QStringLiteral("org.pcmanfm.PCManFM")};
    // The new picture whose fate is still to be reported: a redraw asked meanwhile draws it rather than the
    // old.
    QString aSignaler;
    // Worker thread only.
    RenduEcrans images;
    // Owns the calls in flight and the hand-overs from the worker.
    QObject contexte;
    // Last member: destroyed first, so the picture being drawn is finished and handed over.
    Ouvrier ouvrier {&contexte, 500};
};
