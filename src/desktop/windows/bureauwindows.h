#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/linux/magasin.h"

/** The Windows desktop: SystemParametersInfoW and the user's desktop registry key; IDesktopWallpaper for a
 * picture per monitor. */
class BureauWindows final : public Bureau
{
    Q_OBJECT
public:
    BureauWindows();
    QString nom() const override { return QStringLiteral("windows"); }
    bool accepteNomsBruts() const override { return true; }
    void montrer(const QString &chemin) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;
    QList<Ecran> lireEcrans() const override;
    bool montreParEcran() const override { return true; }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;

private:
    /** Gives each monitor its picture in that layout, off this thread. */
    void montrerEnDisposition(Disposition disposition, bool signaler);

    // The layout each monitor's picture has while one composed picture is spanned over them.
    Magasin magasin {QStringLiteral("windows-ecrans")};
    QList<Ecran> ecrans;
    QStringList chemins;
    // SystemParametersInfoW reads the whole picture before it returns: off the GUI thread, a share may be
    // slow.
    Ouvrier ouvrier {this};
};
