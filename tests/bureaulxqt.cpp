#include "desktop/dbus/bureaulxqt.h"
#include "commun.h"
#include "desktop/image/rendu.h"

#include <QDBusConnection>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {
// Stands in for pcmanfm-qt on the bus: records what it is asked to show.
class PcmanfmFactice final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pcmanfm.Application")
public:
    QList<QStringList> recus;

public slots:
    void setWallpaper(const QString &chemin, const QString &mode) { recus.append({chemin, mode}); }
};

constexpr int delaiMax = 10000;
const QString service = QStringLiteral("org.pcmanfm.PCManFM");
} // namespace

class TestBureauLxqt final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void envoi_data();
    void envoi();
    void changementDePositionOuDEcrans();

private:
    /** What pcmanfm-qt got as its n-th request, over D-Bus or on its command line, as {path, mode}. */
    QStringList recu(bool parDBus, int rang);
    /** Empty when what was received is the picture drawn for each screen in that layout, stretched. */
    static QString ecartAuRendu(const QStringList &recu, const QString &source, int position);

    QTemporaryDir outils;
    QString trace;
    QDBusConnection bus
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pcmanfm"));
    PcmanfmFactice pcmanfm;
    std::unique_ptr<QTemporaryDir> configuration;
};

void TestBureauLxqt::initTestCase()
{
    QVERIFY2(bus.isConnected(), "run through avec-dbus.sh");
    // Two screens of different shapes, side by side.
    QVERIFY(reglerEcrans({QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)}));
    QTRY_COMPARE(QGuiApplication::screens().size(), 2);
    QVERIFY(bus.registerObject(QStringLiteral("/Application"), &pcmanfm, QDBusConnection::ExportAllSlots));
    // A pcmanfm-qt program that writes down its arguments, NUL-separated, found first on PATH.
    trace = outils.filePath(QStringLiteral("arguments"));
    QFile script(outils.filePath(QStringLiteral("pcmanfm-qt")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.$$\" && mv \"$0.$$\" \"" + QFile::encodeName(trace)
                 + "\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(outils.path()) + ':' + qgetenv("PATH"));
}

void TestBureauLxqt::init()
{
    // A store and pictures of their own per row: nothing from an earlier row may show again.
    configuration = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration->filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(configuration->filePath(QStringLiteral("data"))));
    QFile::remove(trace);
    pcmanfm.recus.clear();
    QVERIFY(bus.registerService(service));
}

QStringList TestBureauLxqt::recu(bool parDBus, int rang)
{
    // Each request waits for the one before it, so that detached command lines cannot cross.
    QFile ligne(trace);
    if (!QTest::qWaitFor(
            [&] { return parDBus ? pcmanfm.recus.size() > rang : ligne.open(QIODevice::ReadOnly); },
            delaiMax))
        return {QStringLiteral("nothing received")};
    if (parDBus)
        return pcmanfm.recus.at(rang);
    QStringList arguments;
    for (const QByteArray &argument : ligne.readAll().chopped(1).split('\0'))
        arguments.append(QFile::decodeName(argument));
    ligne.remove();
    if (arguments.size() != 4 || arguments.at(0) != QLatin1String("--wallpaper-mode")
        || arguments.at(2) != QLatin1String("--set-wallpaper"))
        return {QStringLiteral("unexpected command line: ") + arguments.join(QLatin1Char(' '))};
    return {arguments.at(3), arguments.at(1)};
}

QString TestBureauLxqt::ecartAuRendu(const QStringList &recu, const QString &source, int position)
{
    // The drawing fills the screen, so stretching is the mode that cannot distort it.
    if (recu.value(1) != QLatin1String("stretch"))
        return recu.join(QLatin1Char(' '));
    const QString rendu = recu.value(0);
    if (QFileInfo(rendu).absolutePath() != BureauLxqt::dossierRendus())
        return rendu + QStringLiteral(" is not among our drawn pictures");
    const QImage vu = QImage(rendu).convertToFormat(QImage::Format_RGB32);
    // pcmanfm-qt stretches the drawing over the virtual desktop: each screen must find its own picture there.
    const QRect bureau = QGuiApplication::primaryScreen()->virtualGeometry();
    if (vu.size() != bureau.size())
        return QStringLiteral("drawn at %1x%2").arg(vu.width()).arg(vu.height());
    QImage attendu(bureau.size(), QImage::Format_RGB32);
    attendu.fill(Qt::black);
    QPainter peintre(&attendu);
    for (const QScreen *ecran : QGuiApplication::screens())
        peintre.drawImage(ecran->geometry().topLeft() - bureau.topLeft(),
                          rendrePourEcran(source, Disposition(position), ecran->size()));
    peintre.end();
    return vu == attendu ? QString()
                         : QStringLiteral("not the picture in layout %1 on each screen").arg(position);
}

void TestBureauLxqt::envoi_data()
{
    QTest::addColumn<bool>("parDBus");
    QTest::addColumn<int>("position");
    QTest::newRow("D-Bus") << true << 3;
    QTest::newRow("ligne de commande") << false << 5;
}

void TestBureauLxqt::envoi()
{
    QFETCH(bool, parDBus);
    QFETCH(int, position);
    if (!parDBus)
        bus.unregisterService(service);

    // Read from where it is, however named; what is handed over is a file of ours.
    DossierDeTravail dossier;
    const QString relatif = QStringLiteral(
        "sous dossier/-ligne\n\"guillemets\" 'a' \\ $(touch x) `y` $HOME * é漢字 🙂 %41 #?;&|.png");
    const QString absolu = QDir::current().absoluteFilePath(relatif);
    QDir().mkpath(QFileInfo(absolu).path());
    QVERIFY(imageQuadrants(200, 100).save(absolu, "PNG"));
    const int suivante = position % 5 + 1;

    QVERIFY(QFile(QStringLiteral("pas une image.png")).open(QIODevice::WriteOnly));

    BureauLxqt bureau;
    // No picture yet, then none that can be drawn: nothing is sent until the first good one.
    disposerSur(bureau, position, 0);
    for (const QString &inutilisable :
         {QStringLiteral("absente.png"), QStringLiteral("pas une image.png"), QStringLiteral(".")})
        bureau.montrer(inutilisable);
    bureau.montrer(relatif);
    QVERIFY(bureau.attendre(delaiMax));
    const QStringList premier = recu(parDBus, 0);
    QCOMPARE(ecartAuRendu(premier, absolu, position), QString());

    // A new layout redraws the same picture, under a new name: pcmanfm-qt ignores a path it already has.
    disposerSur(bureau, suivante, 0);
    QVERIFY(bureau.attendre(delaiMax));
    const QStringList second = recu(parDBus, 1);
    QCOMPARE(ecartAuRendu(second, absolu, suivante), QString());
    QVERIFY(second.value(0) != premier.value(0));
    BureauLxqt autre;
    QCOMPARE(positionSur(autre), suivante);

    // Only what the desktop may still be reading is kept.
    for (int i = 0; i < 3; ++i) {
        bureau.montrer(relatif);
        QVERIFY(bureau.attendre(delaiMax));
        recu(parDBus, 2 + i);
    }
    QCOMPARE(QDir(BureauLxqt::dossierRendus()).entryList(QDir::Files).size(), 2);
    if (parDBus) {
        QCOMPARE(pcmanfm.recus.size(), 5);
        QVERIFY2(!QFile::exists(trace), "no command line while pcmanfm-qt answers on D-Bus");
    }
}

// A new layout redraws the picture pcmanfm-qt shows, ours or the user's; so does a change of screens.
void TestBureauLxqt::changementDePositionOuDEcrans()
{
    DossierDeTravail dossier;
    const QString notre = dossier.chemin(QStringLiteral("nôtre.png"));
    const QString sienne = dossier.chemin(QStringLiteral("choisie dans pcmanfm-qt.png"));
    QVERIFY(imageQuadrants(200, 100).save(notre, "PNG"));
    QVERIFY(imageQuadrants(60, 90).save(sienne, "PNG"));

    BureauLxqt bureau;
    bureau.montrer(notre);
    QVERIFY(bureau.attendre(delaiMax));
    const QStringList premier = recu(true, 0);

    // pcmanfm-qt saves what it shows: our drawing first, then a picture the user picked there.
    const QString reglages = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/pcmanfm-qt/default/settings.conf");
    QSettings(reglages, QSettings::IniFormat).setValue(QStringLiteral("Desktop/Wallpaper"), premier.value(0));
    disposerSur(bureau, 1, 0);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(ecartAuRendu(recu(true, 1), notre, 1), QString());

    QSettings(reglages, QSettings::IniFormat).setValue(QStringLiteral("Desktop/Wallpaper"), sienne);
    disposerSur(bureau, 2, 0);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(ecartAuRendu(recu(true, 2), sienne, 2), QString());

    // A screen goes, another comes: each time the desktop gets a new drawing, unasked.
    const QList<QStringList> changements {{QStringLiteral("--delmonitor"), QStringLiteral("m1")},
                                          moniteur(1, QRect(400, 0, 240, 200))};
    for (int i = 0; i < changements.size(); ++i) {
        QVERIFY(xrandr(changements.at(i)));
        QTRY_COMPARE(QGuiApplication::screens().size(), 1 + i);
        const QStringList nouveau = recu(true, 3 + i);
        QCOMPARE(ecartAuRendu(nouveau, sienne, 2), QString());
    }
}

QTEST_MAIN(TestBureauLxqt)
#include "bureaulxqt.moc"
