#include "desktop/dbus/bureauxfce.h"
#include "commun.h"

#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

namespace {
// The folder xfdesktop reads for Xvfb's only screen.
const QString ecranXvfb = QStringLiteral("/backdrop/screen0/monitorscreen/workspace0");
const QString absente = QStringLiteral("<absent>");

// xfconf-query on the desktop channel: what it prints, or `absente` when it fails.
QString xfconf(const QStringList &arguments)
{
    const QString sortie
        = sortieDe(QStringLiteral("xfconf-query"),
                   QStringList {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p")}
                       + arguments);
    return sortie.isNull() ? absente : sortie.chopped(sortie.endsWith(QLatin1Char('\n')));
}

bool ecrire(const QString &propriete, const QString &type, const QString &valeur)
{
    return xfconf({propriete, QStringLiteral("-n"), QStringLiteral("-t"), type, QStringLiteral("-s"), valeur})
        != absente;
}
} // namespace

class TestBureauXfce final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void appliquer_data();
    void appliquer();
    void sansXfconf();
};

void TestBureauXfce::initTestCase()
{
    QCOMPARE(QGuiApplication::screens().size(), 1);
}

void TestBureauXfce::appliquer_data()
{
    QTest::addColumn<QStringList>("avant");
    QTest::addColumn<QStringList>("attendus");
    QTest::addColumn<QString>("chemin");
    QTest::addColumn<int>("position");

    QStringList existants;
    for (const char *moniteur : {"HDMI-1", "DP-2"})
        existants << QStringLiteral("/backdrop/screen0/monitor%1/workspace0").arg(QLatin1String(moniteur))
                  << QStringLiteral("/backdrop/screen0/monitor%1/workspace1").arg(QLatin1String(moniteur));
    const QStringList noms {QStringLiteral("simple.png"),
                            QStringLiteral("ligne\net \"guillemets\" 'apostrophes' \\ %41 #?.png"),
                            QStringLiteral("non-ASCII é漢字 🙂.jpg")};
    for (int p = 1; p <= 5; ++p) {
        const QString chemin = dossierImages() + noms.at(p % noms.size());
        QTest::addRow("aucune propriété, %d", p) << QStringList() << QStringList {ecranXvfb} << chemin << p;
        QTest::addRow("déjà là, %d", p) << existants << existants << chemin << p;
    }
}

// Every monitor and workspace xfdesktop knows gets the picture and layout; with none, the screens'
// first workspace is made.
void TestBureauXfce::appliquer()
{
    QFETCH(QStringList, avant);
    QFETCH(QStringList, attendus);
    QFETCH(QString, chemin);
    QFETCH(int, position);

    // Only the monitor/workspace folders of the row, as xfdesktop would leave them.
    xfconf({QStringLiteral("/backdrop"), QStringLiteral("-r"), QStringLiteral("-R")});
    for (const QString &d : std::as_const(avant)) {
        QVERIFY(ecrire(d + QStringLiteral("/last-image"), QStringLiteral("string"),
                       QStringLiteral("/ancienne.png")));
        QVERIFY(ecrire(d + QStringLiteral("/image-style"), QStringLiteral("int"), QStringLiteral("1")));
    }
    QVERIFY(creerImage(chemin));
    {
        BureauXfce bureau;
        bureau.montrer(chemin);
        for (int p : {position, 0, 6})
            disposerSur(bureau, p, 0);
        QVERIFY(bureau.attendre(10000));
        QCOMPARE(positionSur(bureau), position);
    }
    for (const QString &d : std::as_const(attendus)) {
        QCOMPARE(xfconf({d + QStringLiteral("/last-image")}), chemin);
        QCOMPARE(xfconf({d + QStringLiteral("/image-style")}), QString::number(position));
    }
    if (!attendus.contains(ecranXvfb))
        QCOMPARE(xfconf({ecranXvfb + QStringLiteral("/last-image")}), absente);

    // The layout is read back from xfdesktop, and follows its changes; spanning has no counterpart.
    BureauXfce relu;
    QVERIFY(relu.attendre(10000));
    QCOMPARE(positionSur(relu), position);
    const QString style = attendus.constFirst() + QStringLiteral("/image-style");
    QVERIFY(ecrire(style, QStringLiteral("int"), QString::number(position % 5 + 1)));
    QTRY_COMPARE_WITH_TIMEOUT(positionSur(relu), position % 5 + 1, 10000);
    QVERIFY(ecrire(style, QStringLiteral("int"), QStringLiteral("6")));
    QTRY_COMPARE_WITH_TIMEOUT(positionSur(relu), 0, 10000);
}

void TestBureauXfce::sansXfconf()
{
    xfconf({QStringLiteral("/backdrop"), QStringLiteral("-r"), QStringLiteral("-R")});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    QVERIFY(enfantReussit(env));
    QCOMPARE(xfconf({ecranXvfb + QStringLiteral("/last-image")}), absente);
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--enfant") == 0) {
        // Without a bus: everything is asked, nothing can be done, the program carries on knowing no layout.
        const QString image = dossierImages() + QStringLiteral("sans-bus.png");
        creerImage(image);
        BureauXfce bureau;
        bureau.montrer(image);
        disposerSur(bureau, 3, 0);
        bureau.attendre(10000);
        return positionSur(bureau);
    }
    TestBureauXfce test;
    return QTest::qExec(&test, argc, argv);
}

#include "bureauxfce.moc"
