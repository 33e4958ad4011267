#include "desktop/bureaugsettings.h"
#include "commun.h"

#include <QProcess>
#include <QtTest>

// GIO names a struct member after a word Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

using Famille = BureauGSettings::Famille;
Q_DECLARE_METATYPE(Famille)

namespace {
struct Lecture
{
    QString valeur;
    QString erreur;
};

// What another process sees in the settings store, through GLib's own command-line tool and parser.
Lecture lireAilleurs(const QString &schema, const QString &cle, const QProcessEnvironment &env = {})
{
    QProcess gsettings;
    if (!env.isEmpty())
        gsettings.setProcessEnvironment(env);
    gsettings.start(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, cle});
    if (!gsettings.waitForFinished(30000) || gsettings.exitCode() != 0)
        return {{},
                QStringLiteral("gsettings get %1 %2 failed: %3")
                    .arg(schema, cle, QString::fromLocal8Bit(gsettings.readAllStandardError()))};
    const QByteArray texte = gsettings.readAllStandardOutput().trimmed();
    GVariant *v = g_variant_parse(G_VARIANT_TYPE_STRING, texte.constData(), nullptr, nullptr, nullptr);
    if (!v)
        return {{}, QStringLiteral("not a string: ") + QString::fromUtf8(texte)};
    const QString valeur = QString::fromUtf8(g_variant_get_string(v, nullptr));
    g_variant_unref(v);
    return {valeur, {}};
}

// The path a file URI stands for, decoded the way GIO does for the desktop.
QString cheminDeUri(const QString &uri)
{
    gchar *nom = g_filename_from_uri(uri.toUtf8().constData(), nullptr, nullptr);
    const QString chemin = nom ? QFile::decodeName(nom) : QString();
    g_free(nom);
    return chemin;
}

const char *const familles[] = {"GNOME", "Cinnamon", "MATE"};
QString schemaDe(Famille f)
{
    static const char *const schemas[]
        = {"org.gnome.desktop.background", "org.cinnamon.desktop.background", "org.mate.background"};
    return QString::fromLatin1(schemas[int(f)]);
}
} // namespace

class TestBureauGSettings final : public QObject
{
    Q_OBJECT
private slots:
    void image_data();
    void image();
    void position_data();
    void position();
    void lectureDuBureau_data();
    void lectureDuBureau();
    void fichierInutilisable_data();
    void fichierInutilisable();
    void schemaAbsent_data();
    void schemaAbsent();
};

void TestBureauGSettings::image_data()
{
    QTest::addColumn<Famille>("famille");
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QStringList>("cles");
    QTest::addColumn<bool>("uri");

    const QStringList noms {QStringLiteral("simple.png"),
                            QStringLiteral("espace et 'apostrophe' .png"),
                            QStringLiteral("guillemet \" et barre \\ .jpg"),
                            QStringLiteral("ligne\nnouvelle.png"),
                            QStringLiteral("pour%41cent%2Fpas%.png"),
                            QStringLiteral("dièse#et?question&égal=.png"),
                            QStringLiteral("non-ASCII 漢字 🙂.png"),
                            QStringLiteral("sous dossier/relatif.png")};
    const QList<QPair<Famille, QStringList>> cles {
        {Famille::Gnome, {QStringLiteral("picture-uri"), QStringLiteral("picture-uri-dark")}},
        {Famille::Cinnamon, {QStringLiteral("picture-uri")}},
        {Famille::Mate, {QStringLiteral("picture-filename")}}};
    for (const auto &[famille, listeCles] : cles) {
        for (const QString &nom : noms) {
            const QString affiche = QString(nom).replace(QLatin1Char('\n'), QLatin1String("\\n"));
            QTest::addRow("%s %s", familles[int(famille)], qPrintable(affiche))
                << famille << nom << listeCles << (famille != Famille::Mate);
        }
    }
}

void TestBureauGSettings::image()
{
    QFETCH(Famille, famille);
    QFETCH(QString, nom);
    QFETCH(QStringList, cles);
    QFETCH(bool, uri);

    // Relative to the current folder: the desktop must get the absolute path.
    DossierDeTravail dossier;
    const QString attendu = QDir(dossier.chemin()).absoluteFilePath(nom);
    QVERIFY(creerImage(attendu));
    {
        BureauGSettings bureau(famille);
        bureau.appliquerFondEcran(nom);
        QVERIFY(bureau.attendre(10000));
    }
    for (const QString &cle : std::as_const(cles)) {
        const Lecture lue = lireAilleurs(schemaDe(famille), cle);
        QVERIFY2(lue.erreur.isEmpty(), qPrintable(lue.erreur));
        if (uri) {
            QVERIFY2(lue.valeur.startsWith(QLatin1String("file:///")), qPrintable(lue.valeur));
            QCOMPARE(cheminDeUri(lue.valeur), attendu);
        } else {
            QCOMPARE(lue.valeur, attendu);
        }
    }
}

void TestBureauGSettings::position_data()
{
    QTest::addColumn<Famille>("famille");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("nick");

    const char *const nicks[] = {nullptr, "centered", "wallpaper", "stretched", "scaled", "zoom"};
    for (const Famille f : {Famille::Gnome, Famille::Cinnamon, Famille::Mate}) {
        for (int p = 1; p <= 5; ++p)
            QTest::addRow("%s %d", familles[int(f)], p) << f << p << QString::fromLatin1(nicks[p]);
    }
}

void TestBureauGSettings::position()
{
    QFETCH(Famille, famille);
    QFETCH(int, position);
    QFETCH(QString, nick);

    BureauGSettings bureau(famille);
    bureau.enregistrerPosition(position);
    QVERIFY(bureau.attendre(10000));
    QCOMPARE(lireAilleurs(schemaDe(famille), QStringLiteral("picture-options")).valeur, nick);
    QCOMPARE(bureau.lirePosition(), position);

    // Numbers outside 1..5 leave the desktop's setting alone.
    for (const int horsBornes : {0, 6, -1}) {
        bureau.enregistrerPosition(horsBornes);
        QVERIFY(bureau.attendre(10000));
        QCOMPARE(lireAilleurs(schemaDe(famille), QStringLiteral("picture-options")).valeur, nick);
    }
}

void TestBureauGSettings::lectureDuBureau_data()
{
    QTest::addColumn<Famille>("famille");
    QTest::addColumn<QString>("nick");
    QTest::addColumn<int>("attendu");

    for (const Famille f : {Famille::Gnome, Famille::Cinnamon, Famille::Mate}) {
        QTest::addRow("%s zoom", familles[int(f)]) << f << QStringLiteral("zoom") << 5;
        QTest::addRow("%s centered", familles[int(f)]) << f << QStringLiteral("centered") << 1;
        QTest::addRow("%s spanned", familles[int(f)]) << f << QStringLiteral("spanned") << 0;
    }
    QTest::addRow("GNOME none") << Famille::Gnome << QStringLiteral("none") << 0;
    QTest::addRow("Cinnamon none") << Famille::Cinnamon << QStringLiteral("none") << 0;
}

void TestBureauGSettings::lectureDuBureau()
{
    QFETCH(Famille, famille);
    QFETCH(QString, nick);
    QFETCH(int, attendu);

    BureauGSettings bureau(famille);
    // Something else than what the desktop is about to be given, so a stale value cannot pass.
    bureau.enregistrerPosition(attendu == 3 ? 4 : 3);
    QVERIFY(bureau.attendre(10000));
    QCOMPARE(QProcess::execute(
                 QStringLiteral("gsettings"),
                 {QStringLiteral("set"), schemaDe(famille), QStringLiteral("picture-options"), nick}),
             0);
    QTRY_COMPARE_WITH_TIMEOUT(bureau.lirePosition(), attendu, 10000);
}

void TestBureauGSettings::fichierInutilisable_data()
{
    QTest::addColumn<Famille>("famille");
    QTest::addColumn<QString>("cle");
    QTest::addColumn<QString>("nom");
    const QList<QPair<Famille, QString>> cles {{Famille::Gnome, QStringLiteral("picture-uri")},
                                               {Famille::Cinnamon, QStringLiteral("picture-uri")},
                                               {Famille::Mate, QStringLiteral("picture-filename")}};
    for (const auto &[famille, cle] : cles) {
        QTest::addRow("%s absent", familles[int(famille)]) << famille << cle << QStringLiteral("absent.png");
        QTest::addRow("%s dossier", familles[int(famille)])
            << famille << cle << QStringLiteral("dossier.png");
    }
}

// A desktop shows a path that is no file as a blank background: the picture it had must stay.
void TestBureauGSettings::fichierInutilisable()
{
    QFETCH(Famille, famille);
    QFETCH(QString, cle);
    QFETCH(QString, nom);
    DossierDeTravail dossier;
    QVERIFY(creerImage(dossier.chemin(QStringLiteral("bonne.png"))));
    QDir(dossier.chemin()).mkdir(QStringLiteral("dossier.png"));
    {
        BureauGSettings bureau(famille);
        bureau.appliquerFondEcran(dossier.chemin(QStringLiteral("bonne.png")));
        bureau.appliquerFondEcran(dossier.chemin(nom));
        QVERIFY(bureau.attendre(10000));
    }
    const Lecture lue = lireAilleurs(schemaDe(famille), cle);
    QVERIFY2(lue.erreur.isEmpty(), qPrintable(lue.erreur));
    QVERIFY2(lue.valeur.endsWith(QLatin1String("/bonne.png")), qPrintable(lue.valeur));
}

void TestBureauGSettings::schemaAbsent_data()
{
    // Stand-ins for the three schemas, installed alone: their keys, and whether they have a path.
    QTest::addColumn<QString>("cles");
    QTest::addColumn<bool>("avecChemin");
    const QString autre = QStringLiteral("<key name=\"autre\" type=\"s\"><default>''</default></key>");
    QTest::newRow("aucun schéma installé") << QString() << false;
    QTest::newRow("schémas sans ces clés") << autre << true;
    QTest::newRow("schémas sans chemin")
        << autre + QStringLiteral("<key name=\"picture-options\" type=\"s\"><default>''</default></key>")
        << false;
}

void TestBureauGSettings::schemaAbsent()
{
    QFETCH(QString, cles);
    QFETCH(bool, avecChemin);
    const bool schemasFactices = !cles.isEmpty();

    QTemporaryDir vide, schemas, configuration;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), vide.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), vide.path());
    env.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"), schemasFactices ? schemas.path() : vide.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configuration.path());
    if (schemasFactices) {
        QFile xml(schemas.filePath(QStringLiteral("factices.gschema.xml")));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write("<schemalist>\n");
        for (const Famille f : {Famille::Gnome, Famille::Cinnamon, Famille::Mate}) {
            const QString chemin = QLatin1Char('/') + schemaDe(f).replace(QLatin1Char('.'), QLatin1Char('/'))
                + QLatin1Char('/');
            const QString attributs = avecChemin ? QStringLiteral(" path=\"%1\"").arg(chemin) : QString();
            xml.write(QStringLiteral("<schema id=\"%1\"%2>%3</schema>\n")
                          .arg(schemaDe(f), attributs, cles)
                          .toUtf8());
        }
        xml.write("</schemalist>\n");
        xml.close();
        QCOMPARE(QProcess::execute(QStringLiteral("glib-compile-schemas"), {schemas.path()}), 0);
        QProcess liste;
        liste.setProcessEnvironment(env);
        liste.start(QStringLiteral("gsettings"), {QStringLiteral("list-keys"), schemaDe(Famille::Mate)});
        QVERIFY(liste.waitForFinished(30000));
        QVERIFY(liste.readAllStandardOutput().split('\n').contains("autre"));
    }

    QProcess enfant;
    enfant.setProcessEnvironment(env);
    enfant.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--enfant")});
    QVERIFY(enfant.waitForFinished(60000));
    QCOMPARE(enfant.exitStatus(), QProcess::NormalExit);
    QCOMPARE(enfant.exitCode(), 0);
    QCOMPARE(enfant.readAllStandardOutput(), QByteArray("0 0 0\n"));
    QVERIFY2(!QFile::exists(configuration.filePath(QStringLiteral("glib-2.0/settings/keyfile"))),
             "nothing was written to the settings store");
}

// Child run with schemas missing: uses every family, then says what each read back.
static int enfant()
{
    QStringList positions;
    for (const Famille f : {Famille::Gnome, Famille::Cinnamon, Famille::Mate}) {
        BureauGSettings bureau(f);
        bureau.appliquerFondEcran(QStringLiteral("/tmp/papirol2-absent.png"));
        bureau.enregistrerPosition(3);
        bureau.attendre(10000);
        positions.append(QString::number(bureau.lirePosition()));
    }
    printf("%s\n", qPrintable(positions.join(QLatin1Char(' '))));
    return 0;
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--enfant") == 0)
        return enfant();
    // GIO picks its settings backend once per process, at first use: before anything else runs.
    QTemporaryDir configuration;
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));
    QCoreApplication app(argc, argv);
    TestBureauGSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "bureaugsettings.moc"
