#include "bureaukde.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRect>
#include <QUrl>

#include <utility>

namespace {
// Plasma's FillMode for each layout.
constexpr TableDispositions<int> remplissages {6, 3, 0, 1, 2};
constexpr int delaiMs = 10000;

const QString entete = QStringLiteral("var d = desktops();\n");
const QString groupe = QStringLiteral("[\"Wallpaper\", \"org.kde.image\", \"General\"]");

QString uri(const QString &chemin)
{
    return QUrl::fromLocalFile(QFileInfo(chemin).absoluteFilePath()).toString(QUrl::FullyEncoded);
}
} // namespace

BureauKde::BureauKde()
{
    connect(&arrivee, &ArriveeService::essayer, this, &BureauKde::on_essayer);
    connect(&arrivee, &ArriveeService::expiree, this, &BureauKde::on_expiree);
    rafraichir();
}

QString BureauKde::litteralJavaScript(const QJsonValue &valeur)
{
    QString texte = QString::fromUtf8(QJsonDocument(QJsonArray {valeur}).toJson(QJsonDocument::Compact));
    texte = texte.mid(1, texte.size() - 2);
    // JSON allows these two raw in a string; older JavaScript engines end the line at them.
    texte.replace(QChar(0x2028), QLatin1String("\\u2028"));
    texte.replace(QChar(0x2029), QLatin1String("\\u2029"));
    return texte;
}

QString BureauKde::scriptEcriture(const Ecriture &ecriture)
{
    QString ecritures;
    bool parEcran = false;
    for (const auto &[cle, valeur] : ecriture) {
        parEcran = parEcran || valeur.isArray();
        ecritures
            += QStringLiteral("    d[i].writeConfig(%1, %2);\n")
                   .arg(litteralJavaScript(cle),
                        valeur.isArray() ? QStringLiteral("auPlusPres(i, %1)").arg(litteralJavaScript(valeur))
                                         : litteralJavaScript(valeur));
    }
    // Plasma numbers its screens its own way and may count in other pixels than ours: the screens are matched
    // by where they sit in the whole layout. A desktop with no screen gets the first value.
    const QString placement = QStringLiteral(
        "var g = [], x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;\n"
        "for (var i = 0; i < d.length; ++i) {\n"
        "    g[i] = d[i].screen >= 0 ? screenGeometry(d[i].screen) : null;\n"
        "    if (!g[i]) continue;\n"
        "    x0 = Math.min(x0, g[i].x); y0 = Math.min(y0, g[i].y);\n"
        "    x1 = Math.max(x1, g[i].x + g[i].width); y1 = Math.max(y1, g[i].y + g[i].height);\n"
        "}\n"
        "function auPlusPres(i, v) {\n"
        "    var r = v[0][2], ecart = Infinity;\n"
        "    for (var j = 0; g[i] && j < v.length; ++j) {\n"
        "        var dx = (g[i].x + g[i].width / 2 - x0) / (x1 - x0) - v[j][0];\n"
        "        var dy = (g[i].y + g[i].height / 2 - y0) / (y1 - y0) - v[j][1];\n"
        "        if (dx * dx + dy * dy < ecart) { ecart = dx * dx + dy * dy; r = v[j][2]; }\n"
        "    }\n"
        "    return r;\n"
        "}\n");
    return entete + (parEcran ? placement : QString())
        + QStringLiteral("for (var i = 0; i < d.length; ++i) {\n"
                         "    d[i].wallpaperPlugin = \"org.kde.image\";\n"
                         "    d[i].currentConfigGroup = %1;\n"
                         "%2"
                         "}\n"
                         "print(d.length);\n")
              .arg(groupe, ecritures);
}

QString BureauKde::scriptLecture()
{
    return entete
        + QStringLiteral("if (d.length > 0) {\n"
                         "    d[0].currentConfigGroup = %1;\n"
                         "    print(d[0].readConfig(\"FillMode\"));\n"
                         "}\n")
              .arg(groupe);
}

void BureauKde::montrer(const QString &chemin)
{
    ecrire({{QStringLiteral("Image"), uri(chemin)}}, chemin);
}

void BureauKde::montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins)
{
    QRect tout;
    for (const Ecran &e : ecrans)
        tout |= e.geometrie;
    if (tout.isEmpty())
        return montrer(chemins.value(0));
    QJsonArray images;
    for (qsizetype i = 0; i < ecrans.size() && i < chemins.size(); ++i) {
        const QPointF centre = QRectF(ecrans[i].geometrie).center() - tout.topLeft();
        images.append(QJsonArray {centre.x() / tout.width(), centre.y() / tout.height(), uri(chemins[i])});
    }
    ecrire({{QStringLiteral("Image"), images}}, chemins.value(0));
}

std::optional<Disposition> BureauKde::lireDisposition()
{
    // The copy answers now; the question goes out for next time, the user may have changed it in Plasma.
    rafraichir();
    return disposition;
}

void BureauKde::enregistrerDisposition(Disposition nouvelle)
{
    disposition = nouvelle;
    ++dispositionsDemandees;
    ecrire({{QStringLiteral("FillMode"), remplissages[nouvelle]}}, {});
}

void BureauKde::ecrire(const Ecriture &ecriture, const QString &chemin)
{
    if (arrivee.enCours())
        return garder(ecriture, chemin);
    evaluer(scriptEcriture(ecriture),
            [this, ecriture, chemin](bool reussi, const QString &sortie, bool absent) {
                if (reussi && sortie.trimmed().toInt() > 0) {
                    if (!chemin.isEmpty())
                        signaler(chemin, Resultat::Montree);
                } else if (reussi || absent || arrivee.enCours()) {
                    garder(ecriture, chemin);
                } else if (!chemin.isEmpty()) {
                    signaler(chemin, Resultat::Injoignable);
                } else {
                    disposition.reset();
                }
            });
}

void BureauKde::garder(const Ecriture &ecriture, const QString &chemin)
{
    if (!arrivee.enCours())
        qCInfo(lcBureau) << "plasmashell has no desktop on the bus yet; what is asked is kept until it has";
    for (const auto &e : ecriture) {
        enAttente.removeIf([&e](const auto &autre) { return autre.first == e.first; });
        enAttente.append(e);
    }
    // A picture replaced before it was shown goes unreported.
    if (!chemin.isEmpty())
        cheminEnAttente = chemin;
    arrivee.attendre();
}

void BureauKde::on_essayer()
{
    if (essaiEnCours || enAttente.isEmpty())
        return;
    essaiEnCours = true;
    evaluer(scriptEcriture(enAttente),
            [this, envoye = enAttente, chemin = cheminEnAttente](bool reussi, const QString &sortie, bool) {
                essaiEnCours = false;
                if (!reussi || sortie.trimmed().toInt() == 0)
                    return;
                arrivee.arreter();
                qCInfo(lcBureau) << "plasmashell is there: wrote what was kept for it," << chemin;
                // Whatever was asked while this was on its way goes next.
                for (const auto &e : envoye)
                    enAttente.removeOne(e);
                if (chemin == cheminEnAttente)
                    cheminEnAttente.clear();
                if (!chemin.isEmpty())
                    signaler(chemin, Resultat::Montree);
                if (!enAttente.isEmpty())
                    ecrire(std::exchange(enAttente, {}), std::exchange(cheminEnAttente, {}));
            });
}

void BureauKde::on_expiree()
{
    qCWarning(lcBureau) << "plasmashell did not come; dropped what was kept for it," << cheminEnAttente;
    enAttente.clear();
    disposition.reset();
    if (!cheminEnAttente.isEmpty())
        signaler(std::exchange(cheminEnAttente, {}), Resultat::Injoignable);
}

void BureauKde::rafraichir()
{
    if (lectureEnCours)
        return;
    lectureEnCours = true;
    const int demandees = dispositionsDemandees;
    evaluer(scriptLecture(), [this, demandees](bool reussi, const QString &sortie, bool) {
        lectureEnCours = false;
        // A layout asked for since this was read is newer than what was read.
        if (!reussi || demandees != dispositionsDemandees)
            return;
        bool ok = false;
        const int fillMode = sortie.trimmed().toInt(&ok);
        disposition = ok ? remplissages.trouver(fillMode) : std::nullopt;
    });
}

void BureauKde::evaluer(const QString &script, std::function<void(bool, const QString &, bool)> apres)
{
    auto appel = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
        QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
    appel << script;
    appelerDBus(
        this, appel,
        [apres = std::move(apres)](const QDBusMessage &reponse) {
            const bool reussi = reponse.type() == QDBusMessage::ReplyMessage;
            const bool absent = ArriveeService::absent(QDBusError(reponse));
            if (!reussi && !absent)
                qCWarning(lcBureau) << "plasmashell did not run the script:" << reponse.errorMessage();
            apres(reussi, reussi ? reponse.arguments().value(0).toString() : QString(), absent);
        },
        delaiMs);
}
