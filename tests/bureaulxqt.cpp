#include "desktop/bureaulxqt.h"
#include "commun.h"

#include <QDBusConnection>
#include <QtTest>

namespace {
// Stands in for pcmanfm-qt on the bus: records what it is asked to show.
class PcmanfmFactice final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pcmanfm.Application")
public:
    QStringList recus;

public slots:
    void setWallpaper(const QString &chemin, const QString &mode)
    {
        recus.append(chemin + QLatin1Char('|') + mode);
    }
};

const char *const modes[] = {nullptr, "center", "tile", "stretch", "fit", "zoom"};
} // namespace

class TestBureauLxqt final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void envoi_data();
    void envoi();

private:
    QStringList recusEnLigneDeCommande() const;

    QTemporaryDir outils;
    QString trace;
    QDBusConnection bus
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pcmanfm"));
    PcmanfmFactice pcmanfm;
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

    // A store of our own per row, so that no picture from an earlier row is shown again.
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));
    const QString service = QStringLiteral("org.pcmanfm.PCManFM");
    if (parDBus)
        QVERIFY(bus.registerService(service));
    else
        bus.unregisterService(service);
    QFile::remove(trace);
    pcmanfm.recus.clear();

    DossierDeTravail dossier;
    const QString relatif = QStringLiteral("sous dossier/") + nom;
    const QString absolu = QDir::current().absoluteFilePath(relatif);
    const int suivante = position % 5 + 1;
    const auto attendu = [&](int p) {
        return QStringList {absolu, QString::fromLatin1(modes[p])};
    };
    QVERIFY(creerImage(absolu));
    const auto modeSeul = [](int p) {
        return QStringList {QString(), QString::fromLatin1(modes[p])};
    };
    const auto lignesDeCommande = [&](const QStringList &recu) {
        QStringList arguments {QStringLiteral("--wallpaper-mode"), recu.at(1)};
        if (!recu.at(0).isEmpty())
            arguments << QStringLiteral("--set-wallpaper") << recu.at(0);
        return arguments;
    };
    // Each step waits for what pcmanfm-qt got, so that detached command lines cannot cross.
    const auto verifier = [&](const QStringList &recu, int rang) {
        if (parDBus) {
            QTRY_COMPARE(pcmanfm.recus.value(rang), recu.join(QLatin1Char('|')));
        } else {
            QTRY_COMPARE(recusEnLigneDeCommande(), lignesDeCommande(recu));
            QFile::remove(trace);
        }
    };
    BureauLxqt bureau;
    bureau.enregistrerPosition(position);
    QVERIFY(bureau.attendre(10000));
    verifier(modeSeul(position), 0);
    bureau.appliquerFondEcran(relatif);
    QVERIFY(bureau.attendre(10000));
    verifier(attendu(position), 1);
    // A new layout changes the mode alone: the desktop keeps the picture it shows, whoever set it.
    bureau.enregistrerPosition(suivante);
    QVERIFY(bureau.attendre(10000));
    verifier(modeSeul(suivante), 2);
    if (parDBus) {
        QCOMPARE(pcmanfm.recus.size(), 3);
        QVERIFY2(!QFile::exists(trace), "no command line while pcmanfm-qt answers on D-Bus");
    }
    QCOMPARE(BureauLxqt().lirePosition(), suivante);
}

QTEST_GUILESS_MAIN(TestBureauLxqt)
#include "bureaulxqt.moc"
