#pragma once

#include "bureau.h"

/** For sessions no backend fits: changes nothing, says why in the log. */
class BureauNul final : public Bureau
{
public:
    explicit BureauNul(const QString &raison);

    QString nom() const override { return QStringLiteral("nul"); }
    void montrer(const QString &chemin) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    QString raison;
};
