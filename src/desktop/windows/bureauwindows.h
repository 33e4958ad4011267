#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"

/** The Windows desktop: SystemParametersInfoW and the user's desktop registry key. */
class BureauWindows final : public Bureau
{
    Q_OBJECT
public:
    QString nom() const override { return QStringLiteral("windows"); }
    bool accepteNomsBruts() const override { return true; }
    void montrer(const QString &chemin) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    // SystemParametersInfoW reads the whole picture before it returns: off the GUI thread, a share may be
    // slow.
    Ouvrier ouvrier {this};
};
