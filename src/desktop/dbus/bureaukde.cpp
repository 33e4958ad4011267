#include "bureaukde.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace {
// Plasma's FillMode for each layout.
constexpr TableDispositions<int> remplissages {6, 3, 0, 1, 2};
constexpr int delaiMs = 10000;

const QString entete = QStringLiteral("var d = desktops();\n");
const QString groupe = QStringLiteral("[\"Wallpaper\", \"org.kde.image\", \"General\"]");
} // namespace

BureauKde::BureauKde()
{
    rafraichir();
}

QString BureauKde::nom() const
{
    return QStringLiteral("kde");
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

QString BureauKde::scriptEcriture(const QString &cle, const QJsonValue &valeur)
{
    return entete
        + QStringLiteral("for (var i = 0; i < d.length; ++i) {\n"
                         "    d[i].wallpaperPlugin = \"org.kde.image\";\n"
                         "    d[i].currentConfigGroup = %1;\n"
                         "    d[i].writeConfig(%2, %3);\n"
                         "}\n")
              .arg(groupe, litteralJavaScript(cle), litteralJavaScript(valeur));
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
    const QString uri
        = QUrl::fromLocalFile(QFileInfo(chemin).absoluteFilePath()).toString(QUrl::FullyEncoded);
    evaluer(scriptEcriture(QStringLiteral("Image"), uri), [this, chemin](bool reussi, const QString &) {
        signaler(chemin, reussi ? Resultat::Montree : Resultat::Injoignable);
    });
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
    evaluer(scriptEcriture(QStringLiteral("FillMode"), remplissages[nouvelle]),
            [this](bool reussi, const QString &) {
                if (!reussi)
                    disposition.reset();
            });
}

bool BureauKde::attendre(int msecs)
{
    return attente.attendre(msecs);
}

void BureauKde::rafraichir()
{
    if (lectureEnCours)
        return;
    lectureEnCours = true;
    const int demandees = dispositionsDemandees;
    evaluer(scriptLecture(), [this, demandees](bool reussi, const QString &sortie) {
        lectureEnCours = false;
        // A layout asked for since this was read is newer than what was read.
        if (!reussi || demandees != dispositionsDemandees)
            return;
        bool ok = false;
        const int fillMode = sortie.trimmed().toInt(&ok);
        disposition = ok ? remplissages.trouver(fillMode) : std::nullopt;
    });
}

void BureauKde::evaluer(const QString &script, std::function<void(bool, const QString &)> apres)
{
    auto appel = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
        QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
    appel << script;
    attente.appelerDBus(
        appel,
        [apres = std::move(apres)](const QDBusMessage &reponse) {
            const bool reussi = reponse.type() == QDBusMessage::ReplyMessage;
            if (!reussi)
                qCWarning(lcBureau) << "plasmashell did not run the script:" << reponse.errorMessage();
            apres(reussi, reussi ? reponse.arguments().value(0).toString() : QString());
        },
        delaiMs);
}
