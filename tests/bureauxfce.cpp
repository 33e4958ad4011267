#include "desktop/bureauxfce.h"
#include "commun.h"

#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

namespace {
const QString ecranXvfb = QStringLiteral("/backdrop/screen0/monitorscreen/workspace0");

const QString absente = QStringLiteral("<absent>");

// xfconf-query on the desktop channel: the value as stored, or `absente`.
QString lire(const QString &propriete)
{
    QProcess requete;
    requete.start(QStringLiteral("xfconf-query"),
                  {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"), propriete});
    if (!requete.waitForFinished(30000) || requete.exitCode() != 0)
        return absente;
    QString sortie = QString::fromUtf8(requete.readAllStandardOutput());
    if (sortie.endsWith(QLatin1Char('\n')))
        sortie.chop(1);
    return sortie;
}

bool ecrire(const QString &propriete, const QString &type, const QString &valeur)
{
    return QProcess::execute(QStringLiteral("xfconf-query"),
                             {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                              propriete, QStringLiteral("-n"), QStringLiteral("-t"), type,
                              QStringLiteral("-s"), valeur})
        == 0;
}

// Empties the channel, then gives it the monitor/workspace folders of the row, as xfdesktop would.
bool preparer(const QStringList &dossiers)
{
    QProcess::execute(QStringLiteral("xfconf-query"),
                      {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                       QStringLiteral("/backdrop"), QStringLiteral("-r"), QStringLiteral("-R")});
    for (const QString &d : dossiers) {
        if (!ecrire(d + QStringLiteral("/last-image"), QStringLiteral("string"),
                    QStringLiteral("/ancienne.png"))
            || !ecrire(d + QStringLiteral("/image-style"), QStringLiteral("int"), QStringLiteral("1")))
            return false;
    }
    return true;
}

QStringList dossiersExistants()
{
    QStringList d;
    for (const char *moniteur : {"HDMI-1", "DP-2"}) {
        for (const char *bureau : {"workspace0", "workspace1"})
            d.append(QStringLiteral("/backdrop/screen0/monitor%1/%2")
                         .arg(QLatin1String(moniteur), QLatin1String(bureau)));
    }
    return d;
}

void lignesParCas(const std::function<void(const char *, const QStringList &, const QStringList &)> &ajouter)
{
    ajouter("aucune propriété", {}, {ecranXvfb});
    ajouter("déjà là", dossiersExistants(), dossiersExistants());
}
} // namespace

class TestBureauXfce final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void appliquer_data();
    void appliquer();
    void position_data();
    void position();
    void changementDuBureau();
    void sansXfconf();
};

void TestBureauXfce::initTestCase()
{
    QCOMPARE(QGuiApplication::screens().size(), 1);
    QVERIFY(lire(QStringLiteral("/backdrop")) == absente || preparer({}));
}

void TestBureauXfce::appliquer_data()
{
    QTest::addColumn<QStringList>("avant");
    QTest::addColumn<QStringList>("attendus");
    QTest::addColumn<QString>("chemin");

    const QStringList chemins {dossierImages() + QStringLiteral("simple.png"),
                               dossierImages()
                                   + QStringLiteral("ligne\net \"guillemets\" 'apostrophes' \\ %41 #?.png"),
                               dossierImages() + QStringLiteral("non-ASCII é漢字 🙂.jpg")};
    lignesParCas([&](const char *cas, const QStringList &avant, const QStringList &attendus) {
        for (int i = 0; i < chemins.size(); ++i)
            QTest::addRow("%s, nom %d", cas, i) << avant << attendus << chemins.at(i);
    });
}

void TestBureauXfce::appliquer()
{
    QFETCH(QStringList, avant);
    QFETCH(QStringList, attendus);
    QFETCH(QString, chemin);

    QVERIFY(preparer(avant));
    QVERIFY(creerImage(chemin));
    BureauXfce bureau;
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(10000));
    for (const QString &d : std::as_const(attendus))
        QCOMPARE(lire(d + QStringLiteral("/last-image")), chemin);
    if (!attendus.contains(ecranXvfb))
        QCOMPARE(lire(ecranXvfb + QStringLiteral("/last-image")), absente);
}

void TestBureauXfce::position_data()
{
    QTest::addColumn<QStringList>("avant");
    QTest::addColumn<QStringList>("attendus");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("style");

    // xfdesktop: 1 centered, 2 tiled, 3 stretched, 4 scaled, 5 zoomed.
    lignesParCas([](const char *cas, const QStringList &avant, const QStringList &attendus) {
        for (int p = 1; p <= 5; ++p)
            QTest::addRow("%s, %d", cas, p) << avant << attendus << p << QString::number(p);
    });
}

void TestBureauXfce::position()
{
    QFETCH(QStringList, avant);
    QFETCH(QStringList, attendus);
    QFETCH(int, position);
    QFETCH(QString, style);

    QVERIFY(preparer(avant));
    const QString image = dossierImages() + QStringLiteral("courante.png");
    QVERIFY(creerImage(image));
    {
        BureauXfce bureau;
        bureau.appliquerFondEcran(image);
        bureau.enregistrerPosition(position);
        QVERIFY(bureau.attendre(10000));
        QCOMPARE(bureau.lirePosition(), position);
        bureau.enregistrerPosition(0);
        bureau.enregistrerPosition(6);
        QVERIFY(bureau.attendre(10000));
    }
    for (const QString &d : std::as_const(attendus)) {
        QCOMPARE(lire(d + QStringLiteral("/image-style")), style);
        QCOMPARE(lire(d + QStringLiteral("/last-image")), image);
    }
    BureauXfce relu;
    QVERIFY(relu.attendre(10000));
    QCOMPARE(relu.lirePosition(), position);
}

void TestBureauXfce::changementDuBureau()
{
    QVERIFY(preparer(dossiersExistants()));
    BureauXfce bureau;
    bureau.enregistrerPosition(2);
    QVERIFY(bureau.attendre(10000));
    const QString style = dossiersExistants().constFirst() + QStringLiteral("/image-style");
    QVERIFY(ecrire(style, QStringLiteral("int"), QStringLiteral("4")));
    QTRY_COMPARE_WITH_TIMEOUT(bureau.lirePosition(), 4, 10000);
    // Spanning has no counterpart here.
    QVERIFY(ecrire(style, QStringLiteral("int"), QStringLiteral("6")));
    QTRY_COMPARE_WITH_TIMEOUT(bureau.lirePosition(), 0, 10000);
}

void TestBureauXfce::sansXfconf()
{
    QVERIFY(preparer({}));
    QProcess enfant;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    enfant.setProcessEnvironment(env);
    enfant.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--enfant")});
    QVERIFY(enfant.waitForFinished(60000));
    QCOMPARE(enfant.exitStatus(), QProcess::NormalExit);
    QCOMPARE(enfant.exitCode(), 0);
    QCOMPARE(enfant.readAllStandardOutput(), QByteArray("0\n"));
    QCOMPARE(lire(ecranXvfb + QStringLiteral("/last-image")), absente);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--enfant") == 0) {
        // Without a bus: everything is asked, nothing can be done, the program carries on.
        BureauXfce bureau;
        bureau.appliquerFondEcran(dossierImages() + QStringLiteral("sans-bus.png"));
        bureau.enregistrerPosition(3);
        bureau.attendre(10000);
        printf("%d\n", bureau.lirePosition());
        return 0;
    }
    TestBureauXfce test;
    return QTest::qExec(&test, argc, argv);
}

#include "bureauxfce.moc"
