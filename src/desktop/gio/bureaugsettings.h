#pragma once

#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/linux/magasin.h"

struct _GSettings;
struct _GSettingsSchema;

/**
 * Desktops whose background lives in GSettings: GNOME and the sessions built on it, Cinnamon and
 * MATE, each with its own schema. Writes go through GIO to the desktop's settings store, which the
 * desktop watches; a schema or key that is not installed is logged and left alone.
 */
class BureauGSettings final : public Bureau
{
    Q_OBJECT
public:
    enum class Famille { Gnome, Cinnamon, Mate };

    explicit BureauGSettings(Famille famille);
    ~BureauGSettings() override;
    BureauGSettings(const BureauGSettings &) = delete;
    BureauGSettings &operator=(const BureauGSettings &) = delete;

    QString nom() const override;
    bool accepteNomsBruts() const override;
    void montrer(const QString &chemin) override;
    bool montreParEcran() const override { return possede(cleImage()); }
    void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins) override;
    std::optional<Disposition> lireDisposition() override;
    void enregistrerDisposition(Disposition disposition) override;

private:
    bool possede(const char *cle) const;
    const char *cleImage() const;
    QByteArray lireOptions() const;
    bool ecrireImage(const QString &chemin);
    /** Composes the monitors' pictures in that layout off this thread, then spans it over them. */
    void composer(Disposition disposition, bool signaler);
    bool ecrire(const char *cle, const QString &valeur);
    void valider();

    const Famille famille;
    _GSettingsSchema *schema = nullptr;
    _GSettings *reglages = nullptr;
    // The layout of each monitor's picture while one composed picture is spanned over them.
    Magasin magasin;
    QList<Ecran> ecrans;
    QStringList chemins;
    quint64 compositions = 0;
    Ouvrier ouvrier {this};
};
