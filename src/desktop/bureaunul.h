#pragma once

#include "bureau.h"

/** For sessions no backend fits: changes nothing, says why in the log. */
class BureauNul final : public Bureau
{
public:
    explicit BureauNul(const QString &raison);

    QString nom() const override;
    void remettre(const QString &chemin) override;
    int lirePosition() override;
    void enregistrerPosition(int position) override;

private:
    QString raison;
};
