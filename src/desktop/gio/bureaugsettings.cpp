#include "bureaugsettings.h"

#include "commun/nomsfichiers.h"
#include "desktop/image/rendu.h"

#include <QFileInfo>
#include <QUrl>

// GIO names a struct member after a word Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

namespace {
struct Description
{
    const char *nom;
    const char *schema;
    const char *cleImage;
    const char *cleImageSombre;
    bool uri;
};

const Description &description(BureauGSettings::Famille famille)
{
    static const Description gnome {"gnome", "org.gnome.desktop.background", "picture-uri",
                                    "picture-uri-dark", true};
    static const Description cinnamon {"cinnamon", "org.cinnamon.desktop.background", "picture-uri", nullptr,
                                       true};
    static const Description mate {"mate", "org.mate.background", "picture-filename", nullptr, false};
    switch (famille) {
    case BureauGSettings::Famille::Cinnamon:
        return cinnamon;
    case BureauGSettings::Famille::Mate:
        return mate;
    case BureauGSettings::Famille::Gnome:
        break;
    }
    return gnome;
}

const char *const cleOptions = "picture-options";
const char *const etale = "spanned";
// The nicks every one of the three schemas accepts.
constexpr TableDispositions<const char *> nicks {"centered", "wallpaper", "stretched", "scaled", "zoom"};
} // namespace

BureauGSettings::BureauGSettings(Famille famille)
    : famille(famille)
    , magasin(QStringLiteral("%1-ecrans").arg(QLatin1String(description(famille).nom)))
{
    const Description &d = description(famille);
    // g_settings_new() aborts the process on a schema that is not installed, hence the lookup.
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    schema = source ? g_settings_schema_source_lookup(source, d.schema, TRUE) : nullptr;
    if (!schema) {
        qCWarning(lcBureau) << "GSettings schema" << d.schema
                            << "is not installed; the wallpaper stays as it is";
        return;
    }
    // A relocatable schema of that name has no settings of its own to change, and GIO aborts on it too.
    if (!g_settings_schema_get_path(schema)) {
        qCWarning(lcBureau) << "GSettings schema" << d.schema << "has no path; the wallpaper stays as it is";
        g_settings_schema_unref(schema);
        schema = nullptr;
        return;
    }
    reglages = g_settings_new_full(schema, nullptr, nullptr);
    // The composed picture follows the monitors moved, resized or unplugged; one plugged in gets its picture
    // from the rotation.
    connect(this, &Bureau::ecransChanges, this, [this] {
        if (!chemins.isEmpty() && suivreEcrans(ecrans, chemins))
            composer(lireDisposition().value_or(dispositionParDefaut), false);
    });
    // Picture and dark picture reach the desktop together, so it redraws once.
    g_settings_delay(reglages);
    for (const char *cle : {d.cleImage, cleOptions}) {
        if (!possede(cle))
            qCWarning(lcBureau) << "GSettings schema" << d.schema << "has no key" << cle;
    }
}

BureauGSettings::~BureauGSettings()
{
    if (reglages) {
        valider();
        g_settings_sync();
        g_object_unref(reglages);
    }
    if (schema)
        g_settings_schema_unref(schema);
}

QString BureauGSettings::nom() const
{
    return QString::fromLatin1(description(famille).nom);
}

bool BureauGSettings::possede(const char *cle) const
{
    return schema && cle && g_settings_schema_has_key(schema, cle);
}

bool BureauGSettings::ecrire(const char *cle, const QString &valeur)
{
    if (!reglages || !possede(cle))
        return false;
    GSettingsSchemaKey *k = g_settings_schema_get_key(schema, cle);
    GVariant *v = g_variant_ref_sink(g_variant_new_string(valeur.toUtf8().constData()));
    // A schema of another shape would make GIO complain on the terminal; check it ourselves.
    const bool accepte = g_variant_is_of_type(v, g_settings_schema_key_get_value_type(k))
        && g_settings_schema_key_range_check(k, v);
    const bool ecrit = accepte && g_settings_set_value(reglages, cle, v);
    if (!ecrit)
        qCWarning(lcBureau) << "GSettings key" << cle << "refused" << valeur;
    g_variant_unref(v);
    g_settings_schema_key_unref(k);
    return ecrit;
}

void BureauGSettings::valider()
{
    if (reglages)
        g_settings_apply(reglages);
}

bool BureauGSettings::accepteNomsBruts() const
{
    return description(famille).uri;
}

const char *BureauGSettings::cleImage() const
{
    return description(famille).cleImage;
}

bool BureauGSettings::ecrireImage(const QString &chemin)
{
    const Description &d = description(famille);
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    // A URI carries any bytes, percent-encoded; QUrl would replace those that are not UTF-8.
    const QString valeur = !d.uri ? absolu
        : nomEnTexte(absolu)      ? QUrl::fromLocalFile(absolu).toString(QUrl::FullyEncoded)
                                  : QLatin1String("file://" + octetsDuNom(absolu).toPercentEncoding("/"));
    const bool ecrit = ecrire(d.cleImage, valeur);
    if (possede(d.cleImageSombre))
        ecrire(d.cleImageSombre, valeur);
    return ecrit;
}

void BureauGSettings::montrer(const QString &chemin)
{
    if (!possede(cleImage())) {
        qCWarning(lcBureau) << "wallpaper not changed to" << chemin << ": no GSettings key for it";
        return signaler(chemin, Resultat::Injoignable);
    }
    // Back from a picture spanned over the monitors: the layout each had.
    ++compositions;
    chemins.clear();
    if (const std::optional<Disposition> avant = magasin.lire(); avant && lireOptions() == etale)
        ecrire(cleOptions, QString::fromLatin1(nicks[*avant]));
    const bool ecrit = ecrireImage(chemin);
    valider();
    signaler(chemin, ecrit ? Resultat::Montree : Resultat::Injoignable);
}

void BureauGSettings::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    this->ecrans = ecrans;
    this->chemins = chemins;
    composer(lireDisposition().value_or(dispositionParDefaut), true);
}

void BureauGSettings::composer(Disposition disposition, bool signaler)
{
    magasin.enregistrer(disposition);
    ouvrier.planifier(
        [places = places(ecrans, chemins), disposition, source = chemins.value(0)] {
            return enregistrerRendu(source, composerEcrans(places, disposition), QStringLiteral("ecrans-"));
        },
        [this, chemin = chemins.value(0), signaler, numero = ++compositions](const QString &rendu) {
            // A picture asked for since replaces this one.
            if (numero != compositions)
                return;
            const bool ecrit
                = !rendu.isEmpty() && ecrireImage(rendu) && ecrire(cleOptions, QString::fromLatin1(etale));
            valider();
            if (signaler)
                this->signaler(chemin,
                               rendu.isEmpty() ? Resultat::Refusee
                                   : ecrit     ? Resultat::Montree
                                               : Resultat::Injoignable);
        });
}

QByteArray BureauGSettings::lireOptions() const
{
    if (!reglages || !possede(cleOptions))
        return {};
    GVariant *v = g_settings_get_value(reglages, cleOptions);
    const QByteArray nick
        = g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) ? g_variant_get_string(v, nullptr) : "";
    g_variant_unref(v);
    return nick;
}

std::optional<Disposition> BureauGSettings::lireDisposition()
{
    if (!reglages || !possede(cleOptions))
        return std::nullopt;
    const QByteArray nick = lireOptions();
    // Spanned is ours while each monitor has its picture: the layout is the one we drew them in.
    return nick == etale ? magasin.lire() : nicks.trouver(nick);
}

void BureauGSettings::enregistrerDisposition(Disposition disposition)
{
    if (!possede(cleOptions)) {
        qCWarning(lcBureau) << "layout" << numeroDe(disposition) << "not applied: no GSettings key for it";
        return;
    }
    if (!chemins.isEmpty())
        return composer(disposition, false);
    ecrire(cleOptions, QString::fromLatin1(nicks[disposition]));
    valider();
}
