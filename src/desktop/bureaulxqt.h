#pragma once

#include "attente.h"
#include "bureau.h"
#include "magasin.h"

/**
 * LXQt, whose desktop is drawn by pcmanfm-qt: asked over D-Bus, or through its command line when the
 * running instance does not answer there. The layout lives in a store of ours, pcmanfm-qt's own
 * settings being per profile and rewritten by it.
 */
class BureauLxqt final : public Bureau
{
public:
    BureauLxqt();

    QString nom() const override;
    void appliquerFondEcran(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;
    bool attendre(int msecs = -1) override;

private:
    void envoyer(const QString &chemin, int position);

    Magasin magasin;
    Attente attente;
};
