#pragma once

#include "attente.h"
#include "bureau.h"
#include "magasin.h"
#include "ouvrier.h"
#include "rendu.h"

#include <QList>
#include <QMutex>
#include <QRect>

#include <optional>

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
public:
    BureauLxqt();
    /** Hands a picture drawn already over to the desktop before going, within about a second. */
    ~BureauLxqt() override;

    QString nom() const override;
    void remettre(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

    /** The folder the drawn pictures are kept in while the desktop shows them. */
    static QString dossierRendus();

private:
    struct Demande
    {
        QString chemin;
        int position = 0;
        QSize bureau;
        QList<QRect> ecrans;
    };

    /** Draws the picture for the screens as they are now; with ecransSeulement, only if they changed. */
    void planifier(const QString &chemin, int position, bool ecransSeulement = false);
    void dessinerEtEnvoyer(const Demande &demande);
    void envoyer(const QString &rendu);
    void on_ecransChanges();

    Magasin magasin;
    // This thread: the screens last drawn for, and whether anything was drawn by this process.
    QSize bureauDessine;
    QList<QRect> ecransDessines;
    bool actif = false;
    // What the worker draws next, read when its turn comes.
    QMutex verrou;
    std::optional<Demande> demande;
    // Worker thread only.
    RenduEcrans images;
    Attente attente;
    // Last member: destroyed first, so the picture being drawn is finished and handed over.
    Ouvrier ouvrier;
};
