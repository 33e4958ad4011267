#include "desktop/gio/bureaugsettings.h"
#include "commun.h"

#include <QProcess>
#include <QtTest>

// GIO names a struct member after a word Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

using Famille = BureauGSettings::Famille;
Q_DECLARE_METATYPE(Famille)

namespace {
const Famille toutes[] = {Famille::Gnome, Famille::Cinnamon, Famille::Mate};
const char *const nicks[] = {nullptr, "centered", "wallpaper", "stretched", "scaled", "zoom"};

QString schemaDe(Famille f)
{
    static const char *const schemas[]
        = {"org.gnome.desktop.background", "org.cinnamon.desktop.background", "org.mate.background"};
    return QString::fromLatin1(schemas[int(f)]);
}

// What another process sees in the settings store, parsed as GLib does.
QString lireAilleurs(const QString &schema, const QString &cle)
{
    const QByteArray texte
        = sortieDe(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, cle}).trimmed().toUtf8();
    g_autoptr(GVariant) v
        = g_variant_parse(G_VARIANT_TYPE_STRING, texte.constData(), nullptr, nullptr, nullptr);
    return v ? QString::fromUtf8(g_variant_get_string(v, nullptr)) : QStringLiteral("<unreadable>");
}
} // namespace

class TestBureauGSettings final : public QObject
{
    Q_OBJECT
private slots:
    void ecrire_data()
    {
        QTest::addColumn<Famille>("famille");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("ailleurs");
        QTest::addColumn<int>("relue");

        const QStringList noms {QStringLiteral("sous dossier/'apostrophe' \"guillemet\" barre \\ .png"),
                                QStringLiteral("ligne\n%41cent%2F pas% dièse#?&=.jpg"),
                                QStringLiteral("non-ASCII 漢字 🙂.png")};
        const char *const familles[] = {"GNOME", "Cinnamon", "MATE"};
        for (const Famille f : toutes) {
            for (int p = 1; p <= 5; ++p)
                QTest::addRow("%s %d", familles[int(f)], p)
                    << f << noms.at(p % 3) << p << QString::fromLatin1(nicks[p % 5 + 1]) << p % 5 + 1;
            QTest::addRow("%s spanned", familles[int(f)])
                << f << noms.at(0) << 3 << QStringLiteral("spanned") << 0;
        }
    }

    // Picture and layout reach other programs as the desktop reads them; their layout reads back as ours.
    void ecrire()
    {
        QFETCH(Famille, famille);
        QFETCH(QString, nom);
        QFETCH(int, position);
        QFETCH(QString, ailleurs);
        QFETCH(int, relue);
        const QString schema = schemaDe(famille);
        const QString options = QStringLiteral("picture-options");
        const QStringList regler {QStringLiteral("set"), schema, options, ailleurs};

        // Given relative to the current folder: the desktop must get the absolute path.
        DossierDeTravail dossier;
        const QString attendu = QDir(dossier.chemin()).absoluteFilePath(nom);
        QVERIFY(creerImage(attendu));
        // Another layout stored first, so that ours is seen to arrive.
        QCOMPARE(QProcess::execute(QStringLiteral("gsettings"), regler), 0);
        BureauGSettings bureau(famille);
        bureau.montrer(nom);
        disposerSur(bureau, position, 0);
        for (const int horsBornes : {0, 6, -1})
            disposerSur(bureau, horsBornes, 0);
        QVERIFY(bureau.attendre(10000));

        QStringList cles {famille == Famille::Mate ? QStringLiteral("picture-filename")
                                                   : QStringLiteral("picture-uri")};
        if (famille == Famille::Gnome)
            cles.append(QStringLiteral("picture-uri-dark"));
        for (const QString &cle : std::as_const(cles)) {
            const QString lue = lireAilleurs(schema, cle);
            if (famille == Famille::Mate) {
                QCOMPARE(lue, attendu);
            } else {
                QVERIFY2(lue.startsWith(QLatin1String("file:///")), qPrintable(lue));
                g_autofree gchar *fichier = g_filename_from_uri(lue.toUtf8().constData(), nullptr, nullptr);
                QCOMPARE(QFile::decodeName(fichier), attendu);
            }
        }
        QCOMPARE(lireAilleurs(schema, options), QString::fromLatin1(nicks[position]));
        QCOMPARE(positionSur(bureau), position);

        QCOMPARE(QProcess::execute(QStringLiteral("gsettings"), regler), 0);
        QTRY_COMPARE_WITH_TIMEOUT(positionSur(bureau), relue, 10000);
    }

    void schemaAbsent_data()
    {
        // Stand-ins for the three schemas, installed alone: their keys, and whether they have a path.
        QTest::addColumn<QString>("cles");
        QTest::addColumn<bool>("avecChemin");
        const QString cle = QStringLiteral("<key name=\"%1\" type=\"s\"><default>''</default></key>");
        QTest::newRow("aucun schéma installé") << QString() << false;
        QTest::newRow("schémas sans ces clés") << cle.arg(QLatin1String("autre")) << true;
        QTest::newRow("schémas sans chemin")
            << cle.arg(QLatin1String("autre")) + cle.arg(QLatin1String("picture-options")) << false;
    }

    // GIO aborts the process on a schema or key that is not there: the program must live on and change
    // nothing.
    void schemaAbsent()
    {
        QFETCH(QString, cles);
        QFETCH(bool, avecChemin);

        QTemporaryDir vide, schemas, configuration;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), vide.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), vide.path());
        env.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"), schemas.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configuration.path());
        if (!cles.isEmpty()) {
            QFile xml(schemas.filePath(QStringLiteral("factices.gschema.xml")));
            QVERIFY(xml.open(QIODevice::WriteOnly));
            xml.write("<schemalist>");
            for (const Famille f : toutes) {
                const QString chemin = QStringLiteral(" path=\"/%1/\"")
                                           .arg(schemaDe(f).replace(QLatin1Char('.'), QLatin1Char('/')));
                xml.write(QStringLiteral("<schema id=\"%1\"%2>%3</schema>")
                              .arg(schemaDe(f), avecChemin ? chemin : QString(), cles)
                              .toUtf8());
            }
            xml.write("</schemalist>");
            xml.close();
            QCOMPARE(QProcess::execute(QStringLiteral("glib-compile-schemas"), {schemas.path()}), 0);
        }

        QVERIFY(enfantReussit(env));
        QVERIFY2(!QFile::exists(configuration.filePath(QStringLiteral("glib-2.0/settings/keyfile"))),
                 "nothing was written to the settings store");
    }
};

// Child run with schemas missing: uses every family; none has a layout to read back.
static int enfant()
{
    QTemporaryDir dossier;
    const QString image = dossier.filePath(QStringLiteral("image.png"));
    int lues = creerImage(image) ? 0 : 100;
    for (const Famille f : toutes) {
        BureauGSettings bureau(f);
        bureau.montrer(image);
        disposerSur(bureau, 3, 0);
        bureau.attendre(10000);
        lues += positionSur(bureau);
    }
    return lues;
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
