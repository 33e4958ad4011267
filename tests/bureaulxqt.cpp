#include "desktop/bureaulxqt.h"
#include "commun.h"
#include "desktop/rendu.h"

#include <QDBusConnection>
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
} // namespace

class TestBureauLxqt final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void envoi_data();
    void envoi();
    void changementDePositionRedessineLImageDuBureau();
    void fichierAbsentOuSansImageNEnvoieRien();

private:
    QStringList recusEnLigneDeCommande() const;
    /** What pcmanfm-qt got as its n-th request, over D-Bus or on its command line, as {path, mode}. */
    QStringList recu(bool parDBus, int rang);
    /** Empty when the file handed over is the picture drawn for the whole screen in that layout. */
    static QString ecartAuRendu(const QString &rendu, const QString &source, int position);

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
    QVERIFY(!QGuiApplication::primaryScreen()->size().isEmpty());
}

void TestBureauLxqt::init()
{
    // A store and pictures of their own per row: nothing from an earlier row may show again.
    configuration = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration->filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(configuration->filePath(QStringLiteral("data"))));
    QFile::remove(trace);
    pcmanfm.recus.clear();
}

QStringList TestBureauLxqt::recusEnLigneDeCommande() const
{
    QFile f(trace);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> morceaux = f.readAll().split('\0');
    for (int i = 0; i + 1 < morceaux.size(); ++i)
        arguments.append(QFile::decodeName(morceaux.at(i)));
    return arguments;
}

QStringList TestBureauLxqt::recu(bool parDBus, int rang)
{
    if (parDBus) {
        if (!QTest::qWaitFor([&] { return pcmanfm.recus.size() > rang; }, delaiMax))
            return {};
        return pcmanfm.recus.at(rang);
    }
    // Each request waits for the one before it, so that detached command lines cannot cross.
    QStringList arguments;
    if (!QTest::qWaitFor([&] { return !(arguments = recusEnLigneDeCommande()).isEmpty(); }, delaiMax))
        return {QStringLiteral("no command line")};
    QFile::remove(trace);
    if (arguments.size() != 4 || arguments.at(0) != QLatin1String("--wallpaper-mode")
        || arguments.at(2) != QLatin1String("--set-wallpaper"))
        return {QStringLiteral("unexpected command line: ") + arguments.join(QLatin1Char(' '))};
    return {arguments.at(3), arguments.at(1)};
}

QString TestBureauLxqt::ecartAuRendu(const QString &rendu, const QString &source, int position)
{
    if (QFileInfo(rendu).absolutePath() != BureauLxqt::dossierRendus())
        return rendu + QStringLiteral(" is not among our drawn pictures");
    const QImage vu = QImage(rendu).convertToFormat(QImage::Format_RGB32);
    const QImage attendu = rendrePourEcran(source, position, QGuiApplication::primaryScreen()->size());
    if (vu.size() != attendu.size())
        return QStringLiteral("drawn at %1x%2").arg(vu.width()).arg(vu.height());
    return vu == attendu ? QString() : QStringLiteral("not the picture in layout %1").arg(position);
}

void TestBureauLxqt::envoi_data()
{
    QTest::addColumn<bool>("parDBus");
    QTest::addColumn<QString>("nom");
    QTest::addColumn<int>("position");

    const QStringList noms {
        QStringLiteral("simple.png"), QStringLiteral("-commence par un tiret.png"),
        QStringLiteral("ligne\n\"guillemets\" 'apostrophes' \\ $(touch x) `y` $HOME *.png"),
        QStringLiteral("é漢字 🙂 %41 #?;&|.png"), QStringLiteral("  espaces  .png")};
    for (const bool parDBus : {true, false}) {
        for (int i = 0; i < noms.size(); ++i)
            QTest::addRow("%s, nom %d", parDBus ? "D-Bus" : "ligne de commande", i)
                << parDBus << noms.at(i) << i % 5 + 1;
    }
}

void TestBureauLxqt::envoi()
{
    QFETCH(bool, parDBus);
    QFETCH(QString, nom);
    QFETCH(int, position);

    const QString service = QStringLiteral("org.pcmanfm.PCManFM");
    if (parDBus)
        QVERIFY(bus.registerService(service));
    else
        bus.unregisterService(service);

    DossierDeTravail dossier;
    const QString relatif = QStringLiteral("sous dossier/") + nom;
    const QString absolu = QDir::current().absoluteFilePath(relatif);
    QDir().mkpath(QFileInfo(absolu).path());
    QVERIFY(imageQuadrants(200, 100).save(absolu, "PNG"));
    const int suivante = position % 5 + 1;
    const QString stretch = QStringLiteral("stretch");

    BureauLxqt bureau;
    bureau.enregistrerPosition(position);
    bureau.appliquerFondEcran(relatif);
    QVERIFY(bureau.attendre(delaiMax));
    const QStringList premier = recu(parDBus, 0);
    QCOMPARE(premier.value(1), stretch);
    QCOMPARE(ecartAuRendu(premier.value(0), absolu, position), QString());

    // A new layout redraws the same picture, under a new name: pcmanfm-qt ignores a path it already has.
    bureau.enregistrerPosition(suivante);
    QVERIFY(bureau.attendre(delaiMax));
    const QStringList second = recu(parDBus, 1);
    QCOMPARE(second.value(1), stretch);
    QVERIFY(second.value(0) != premier.value(0));
    QCOMPARE(ecartAuRendu(second.value(0), absolu, suivante), QString());
    QCOMPARE(BureauLxqt().lirePosition(), suivante);

    // Only what the desktop may still be reading is kept.
    for (int i = 0; i < 3; ++i) {
        bureau.appliquerFondEcran(relatif);
        QVERIFY(bureau.attendre(delaiMax));
        recu(parDBus, 2 + i);
    }
    const QStringList restants = QDir(BureauLxqt::dossierRendus()).entryList(QDir::Files);
    QCOMPARE(restants.size(), 2);
    if (parDBus) {
        QCOMPARE(pcmanfm.recus.size(), 5);
        QVERIFY2(!QFile::exists(trace), "no command line while pcmanfm-qt answers on D-Bus");
    }
}

void TestBureauLxqt::changementDePositionRedessineLImageDuBureau()
{
    QVERIFY(bus.registerService(QStringLiteral("org.pcmanfm.PCManFM")));
    DossierDeTravail dossier;
    const QString notre = dossier.chemin(QStringLiteral("nôtre.png"));
    const QString sienne = dossier.chemin(QStringLiteral("choisie dans pcmanfm-qt.png"));
    QVERIFY(imageQuadrants(200, 100).save(notre, "PNG"));
    QVERIFY(imageQuadrants(60, 90).save(sienne, "PNG"));

    BureauLxqt bureau;
    bureau.appliquerFondEcran(notre);
    QVERIFY(bureau.attendre(delaiMax));
    const QString rendu = recu(true, 0).value(0);
    QCOMPARE(ecartAuRendu(rendu, notre, 5), QString());

    // pcmanfm-qt saves what it shows: our drawing first, then a picture the user picked there.
    const QString reglages = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/pcmanfm-qt/default/settings.conf");
    QSettings(reglages, QSettings::IniFormat).setValue(QStringLiteral("Desktop/Wallpaper"), rendu);
    bureau.enregistrerPosition(1);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(ecartAuRendu(recu(true, 1).value(0), notre, 1), QString());

    QSettings(reglages, QSettings::IniFormat).setValue(QStringLiteral("Desktop/Wallpaper"), sienne);
    bureau.enregistrerPosition(2);
    QVERIFY(bureau.attendre(delaiMax));
    QCOMPARE(ecartAuRendu(recu(true, 2).value(0), sienne, 2), QString());
}

void TestBureauLxqt::fichierAbsentOuSansImageNEnvoieRien()
{
    QVERIFY(bus.registerService(QStringLiteral("org.pcmanfm.PCManFM")));
    DossierDeTravail dossier;
    QVERIFY(QFile(dossier.chemin(QStringLiteral("pas une image.png"))).open(QIODevice::WriteOnly));
    BureauLxqt bureau;
    // No picture yet: the layout is kept for the first one.
    bureau.enregistrerPosition(3);
    bureau.appliquerFondEcran(dossier.chemin(QStringLiteral("absente.png")));
    bureau.appliquerFondEcran(dossier.chemin(QStringLiteral("pas une image.png")));
    bureau.appliquerFondEcran(dossier.chemin());
    QVERIFY(bureau.attendre(delaiMax));
    QTest::qWait(200);
    QCOMPARE(pcmanfm.recus, QList<QStringList>());
    QCOMPARE(bureau.lirePosition(), 3);
    QVERIFY(!QDir(BureauLxqt::dossierRendus()).exists()
            || QDir(BureauLxqt::dossierRendus()).isEmpty(QDir::Files));
}

QTEST_MAIN(TestBureauLxqt)
#include "bureaulxqt.moc"
