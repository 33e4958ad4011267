#pragma once

#include "attente.h"
#include "bureau.h"
#include "magasin.h"
#include "ouvrier.h"

/**
 * LXQt, whose desktop is drawn by pcmanfm-qt: asked over D-Bus, or through its command line when the
 * running instance does not answer there. pcmanfm-qt 1.2 ignores "zoom" and, once another mode was set,
 * never returns to the one it started in; so the picture is drawn here, at the desktop's size, in the
 * layout asked for, and handed over as a file that shows the same in every mode. The layout lives in a
 * store of ours, pcmanfm-qt's own settings being per profile and rewritten by it.
 */
class BureauLxqt final : public Bureau
{
public:
    BureauLxqt();
    /** Hands the last picture drawn over to the desktop before going. */
    ~BureauLxqt() override;

    QString nom() const override;
    void appliquerFondEcran(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

    /** The folder the drawn pictures are kept in while the desktop shows them. */
    static QString dossierRendus();

private:
    void planifier(const QString &chemin, int position);
    void envoyer(const QString &rendu);

    Magasin magasin;
    Attente attente;
    // Last member: destroyed first, so the picture being drawn is finished and handed over.
    Ouvrier ouvrier;
};
