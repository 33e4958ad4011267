#include "commun.h"
#include "desktop/bureaukde.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <QtTest>

namespace {
// Plasma's scripting calls over two desktops whose settings live in `etat`; what is done is journaled.
const char *const simulation = R"(
var etat = %1;
var journal = [];
function print(x) { journal.push({print: String(x)}); }
function desktops() {
    return [0, 1].map(function (n) {
        var d = {currentConfigGroup: []};
        Object.defineProperty(d, "wallpaperPlugin", {
            get: function () { return etat[n].plugin; },
            set: function (v) { etat[n].plugin = v; }
        });
        d.writeConfig = function (k, v) {
            var g = this.currentConfigGroup.join("/");
            etat[n][g] = etat[n][g] || {};
            etat[n][g][k] = v;
        };
        d.readConfig = function (k) { var g = etat[n][this.currentConfigGroup.join("/")]; return g ? g[k] : undefined; };
        return d;
    });
}
)";
const QString groupe = QStringLiteral("Wallpaper/org.kde.image/General");

// Runs a script in a JavaScript engine against the desktops' settings, as plasmashell would.
struct Execution
{
    QJsonArray etat;
    QString sortie;
    QString erreur;
};

Execution executer(const QString &script, const QJsonArray &etat)
{
    QProcess node;
    const QString avant
        = QString::fromLatin1(simulation).arg(QString::fromUtf8(QJsonDocument(etat).toJson()));
    const QString apres
        = QStringLiteral("\nprocess.stdout.write(JSON.stringify({etat: etat, journal: journal}));\n");
    node.start(QStringLiteral("node"), {QStringLiteral("-e"), avant + script + apres});
    if (!node.waitForFinished(60000) || node.exitCode() != 0)
        return {etat, {}, node.errorString() + QString::fromLocal8Bit(node.readAllStandardError())};
    const QJsonObject resultat = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    QStringList imprime;
    for (const QJsonValue &v : resultat.value(QLatin1String("journal")).toArray())
        imprime.append(v.toObject().value(QLatin1String("print")).toString());
    return {resultat.value(QLatin1String("etat")).toArray(), imprime.join(QLatin1Char('\n')), {}};
}

// Answers for plasmashell on the bus, running what it is sent.
class PlasmaFactice final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")
public:
    QJsonArray etat {QJsonObject {{QStringLiteral("plugin"), QStringLiteral("org.kde.color")}},
                     QJsonObject {{QStringLiteral("plugin"), QStringLiteral("org.kde.color")}}};
    QStringList erreurs;

    QJsonValue valeur(int bureau, const QString &cle) const
    {
        return etat.at(bureau).toObject().value(groupe).toObject().value(cle);
    }

public slots:
    QString evaluateScript(const QString &script)
    {
        const Execution e = executer(script, etat);
        if (!e.erreur.isEmpty())
            erreurs.append(e.erreur);
        etat = e.etat;
        return e.sortie;
    }
};
} // namespace

class TestScriptPlasma final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void litteral_data();
    void litteral();
    void image_data();
    void image();
    void position_data();
    void position();

private:
    QDBusConnection bus
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("plasma"));
    PlasmaFactice plasma;
};

void TestScriptPlasma::initTestCase()
{
    QVERIFY2(bus.isConnected(), "run through avec-dbus.sh");
    QVERIFY(bus.registerObject(QStringLiteral("/PlasmaShell"), &plasma, QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(QStringLiteral("org.kde.plasmashell")));
}

void TestScriptPlasma::litteral_data()
{
    QTest::addColumn<QString>("texte");
    QTest::newRow("guillemets") << QStringLiteral("/a\"); d[0].writeConfig(\"Image\", \"x\"); (\"");
    QTest::newRow("apostrophes") << QStringLiteral("/a'b'c");
    QTest::newRow("barres") << QStringLiteral("/a\\\\b\\\"\\");
    QTest::newRow("fins de ligne") << QStringLiteral("/a\nb\rc") + QChar(0x2028) + QStringLiteral("d")
            + QChar(0x2029);
    QTest::newRow("contrôles") << QStringLiteral("/a") + QChar(0) + QStringLiteral("\t\x1b\x7f");
    QTest::newRow("balise et commentaire") << QStringLiteral("</script><!-- /* */ // ${x} `y`");
    QTest::newRow("non-ASCII") << QStringLiteral("/é漢字/🙂.png");
}

void TestScriptPlasma::litteral()
{
    QFETCH(QString, texte);

    const QString litteral = BureauKde::litteralJavaScript(texte);
    for (const QChar fin : {QChar(u'\n'), QChar(u'\r'), QChar(0x2028), QChar(0x2029)})
        QVERIFY2(!litteral.contains(fin), "a raw line end ends the literal in older engines");
    const QJsonDocument relu
        = QJsonDocument::fromJson((QLatin1Char('[') + litteral + QLatin1Char(']')).toUtf8());
    QCOMPARE(relu.array().at(0).toString(), texte);
    const Execution e = executer(QStringLiteral("print(%1);").arg(litteral), {});
    QVERIFY2(e.erreur.isEmpty(), qPrintable(e.erreur));
    QCOMPARE(e.sortie, texte);
}

void TestScriptPlasma::image_data()
{
    QTest::addColumn<QString>("nom");
    QTest::newRow("simple") << QStringLiteral("simple.png");
    QTest::newRow("guillemets") << QStringLiteral("a\"); print(\"x\"); (\".png");
    QTest::newRow("barres et apostrophes") << QStringLiteral("a\\'b\\\\'.png");
    QTest::newRow("fins de ligne") << QStringLiteral("a\nb") + QChar(0x2028) + QStringLiteral(".png");
    QTest::newRow("URI") << QStringLiteral("%41%2F #?&=.png");
    QTest::newRow("non-ASCII") << QStringLiteral("é漢字 🙂.png");
}

void TestScriptPlasma::image()
{
    QFETCH(QString, nom);

    DossierDeTravail dossier;
    const QString absolu = QDir::current().absoluteFilePath(nom);
    QVERIFY(creerImage(absolu));
    BureauKde bureau;
    bureau.appliquerFondEcran(nom);
    QVERIFY(bureau.attendre(30000));
    QVERIFY2(plasma.erreurs.isEmpty(), qPrintable(plasma.erreurs.join(QLatin1Char('\n'))));
    for (int n = 0; n < 2; ++n) {
        QCOMPARE(plasma.etat.at(n).toObject().value(QLatin1String("plugin")).toString(),
                 QStringLiteral("org.kde.image"));
        const QUrl uri(plasma.valeur(n, QStringLiteral("Image")).toString(), QUrl::StrictMode);
        QVERIFY2(uri.isValid() && uri.isLocalFile(), qPrintable(uri.errorString()));
        QCOMPARE(uri.toLocalFile(), absolu);
    }
}

void TestScriptPlasma::position_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("fillMode");
    QTest::newRow("centrée") << 1 << 6;
    QTest::newRow("mosaïque") << 2 << 3;
    QTest::newRow("étirée") << 3 << 0;
    QTest::newRow("ajustée") << 4 << 1;
    QTest::newRow("remplie") << 5 << 2;
}

void TestScriptPlasma::position()
{
    QFETCH(int, position);
    QFETCH(int, fillMode);

    {
        BureauKde bureau;
        bureau.enregistrerPosition(position);
        bureau.enregistrerPosition(0);
        bureau.enregistrerPosition(6);
        QVERIFY(bureau.attendre(30000));
        QCOMPARE(bureau.lirePosition(), position);
    }
    QVERIFY2(plasma.erreurs.isEmpty(), qPrintable(plasma.erreurs.join(QLatin1Char('\n'))));
    for (int n = 0; n < 2; ++n)
        QCOMPARE(plasma.valeur(n, QStringLiteral("FillMode")).toInt(-1), fillMode);

    BureauKde relu;
    QVERIFY(relu.attendre(30000));
    QCOMPARE(relu.lirePosition(), position);
}

QTEST_GUILESS_MAIN(TestScriptPlasma)
#include "scriptplasma.moc"
