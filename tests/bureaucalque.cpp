#include "desktop/wayland/bureaucalque.h"
#include "commun.h"

#include <QDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {
QByteArray lire(const QString &chemin)
{
    QFile fichier(chemin);
    return fichier.open(QIODevice::ReadOnly) ? fichier.readAll() : QByteArray();
}

// Our swaybg processes on this compositor, zombies and the compositor's own background child left out.
QList<qint64> nosSwaybg()
{
    const QByteArray wayland = "WAYLAND_DISPLAY=" + qgetenv("WAYLAND_DISPLAY");
    const QByteArray runtime = "XDG_RUNTIME_DIR=" + qgetenv("XDG_RUNTIME_DIR");
    QList<qint64> pids;
    const QStringList entrees = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entree : entrees) {
        const QString dossier = QStringLiteral("/proc/") + entree;
        if (lire(dossier + QStringLiteral("/comm")) != "swaybg\n")
            continue;
        const QByteArray stat = lire(dossier + QStringLiteral("/stat"));
        const QList<QByteArray> champs = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        const QList<QByteArray> environ = lire(dossier + QStringLiteral("/environ")).split('\0');
        if (champs.size() < 2 || champs.at(0) == "Z" || !environ.contains(wayland)
            || !environ.contains(runtime)
            || lire(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(champs.at(1)))) == "sway\n")
            continue;
        pids.append(entree.toLongLong());
    }
    return pids;
}

const QByteArray vertEtire = "v10,10 v630,470 v320,240";
} // namespace

class TestBureauCalque final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void position_data();
    void position();
    void changement();
    void sortie();
    void noms_data();
    void noms();

private:
    void montrer(BureauCalque &bureau, const QString &image, const QByteArray &attendu);

    QTemporaryDir dossier;
    QString quadrants, magenta, vert;
};

void TestBureauCalque::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), "run through avec-wayland.sh");
    quadrants = dossier.filePath(QStringLiteral("quadrants.png"));
    QVERIFY(ecrireImage(quadrants, imageBandeBlanche()));
    magenta = dossier.filePath(QStringLiteral("magenta.png"));
    QVERIFY(ecrireImage(magenta, imageUnie(Qt::magenta)));
    // Large, so that its child takes a while to draw it: long enough for a grab to catch a bare screen.
    vert = dossier.filePath(QStringLiteral("vert.jpg"));
    QVERIFY(ecrireImage(vert, imageUnie(Qt::green, QSize(4000, 3000)), "JPG"));
    const QImage ecran = captureWayland();
    QVERIFY2(!ecran.isNull(), "grim cannot grab this compositor");
    ecranNu = ecran.pixelColor(10, 10);
}

void TestBureauCalque::montrer(BureauCalque &bureau, const QString &image, const QByteArray &attendu)
{
    disposerSur(bureau, 3, 0);
    bureau.montrer(image);
    QVERIFY(bureau.attendre(20000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(attendu, &ecart), qPrintable(ecart), 10000);
}

void TestBureauCalque::position_data()
{
    // The same points as for sway's own backend: both must draw each layout alike.
    lignesDePosition();
}

void TestBureauCalque::position()
{
    QFETCH(int, position);
    QFETCH(QByteArray, attendu);

    BureauCalque bureau;
    montrer(bureau, magenta, magentaEtire);
    bureau.montrer(quadrants);
    // The layout alone: the picture already shown comes back in it.
    disposerSur(bureau, position, 0);
    QVERIFY(bureau.attendre(20000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(attendu, &ecart), qPrintable(ecart), 10000);
    BureauCalque autre;
    QCOMPARE(positionSur(autre), position);
    QCOMPARE(nosSwaybg().size(), 1);
}

void TestBureauCalque::changement()
{
    BureauCalque bureau;
    montrer(bureau, magenta, magentaEtire);
    // Grabbed back to back until the change has settled: always one picture or the other, never the bare
    // screen.
    bureau.montrer(vert);
    QString ecart;
    int prises = 0;
    for (bool fini = false; !fini; ++prises) {
        fini = bureau.attendre(0);
        const QImage ecran = captureWayland();
        QVERIFY2(montre(ecran, vertEtire, &ecart) || montre(ecran, magentaEtire, &ecart),
                 qPrintable(QStringLiteral("during the change: ") + ecart));
        QVERIFY2(prises < 500, "the change never settled");
    }
    QVERIFY2(montre(vertEtire, &ecart), qPrintable(ecart));
    qInfo() << prises << "grabs during the change";
    const QList<qint64> avant = nosSwaybg();
    QCOMPARE(avant.size(), 1);

    // Killed from outside: a new child draws the picture again.
    QCOMPARE(::kill(pid_t(avant.first()), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(nosSwaybg().size() == 1 && nosSwaybg() != avant, 10000);
    QVERIFY(bureau.attendre(20000));
    QTRY_VERIFY2_WITH_TIMEOUT(montre(vertEtire, &ecart), qPrintable(ecart), 10000);
}

void TestBureauCalque::sortie()
{
    { // Quitting leaves the picture on the screen, drawn by one child.
        BureauCalque bureau;
        montrer(bureau, magenta, magentaEtire);
    }
    QTest::qWait(500);
    QString ecart;
    QVERIFY2(montre(magentaEtire, &ecart), qPrintable(ecart));
    const QList<qint64> laisse = nosSwaybg();
    QCOMPARE(laisse.size(), 1);
    // The next run ends the child left behind once its own has drawn.
    BureauCalque suivant;
    montrer(suivant, vert, vertEtire);
    QTRY_COMPARE(nosSwaybg().size(), 1);
    QVERIFY(nosSwaybg() != laisse);
}

void TestBureauCalque::noms_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<bool>("montree");

    const QByteArray image = "image";
    // Given relative, from the picture's folder: it must not reach swaybg as an option.
    QTest::newRow("tiret en tête") << QStringLiteral("-i -m tile.png") << image << true;
    QTest::newRow("saut de ligne") << QStringLiteral("saut\nde ligne.png") << image << true;
    QTest::newRow("guillemets et substitution")
        << QStringLiteral("a'b\"c\\ $(touch x) `y` $HOME *?[ab] ~ %41 é漢字 🙂.png") << image << true;
    // swaybg would paint the screen black for a picture it cannot load.
    QTest::newRow("absent") << QStringLiteral("absent.png") << QByteArray() << false;
    QTest::newRow("pas une image") << QStringLiteral("texte.png") << QByteArray("texte") << false;
}

void TestBureauCalque::noms()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);
    QFETCH(bool, montree);

    QFile fichier(dossier.filePath(nom));
    if (contenu == "image")
        QVERIFY(QFile::copy(quadrants, fichier.fileName()));
    else if (!contenu.isEmpty())
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write(contenu) > 0 && fichier.flush());
    BureauCalque bureau;
    montrer(bureau, magenta, magentaEtire);
    const QString ici = QDir::currentPath();
    QDir::setCurrent(dossier.path());
    bureau.montrer(nom);
    QDir::setCurrent(ici);
    QVERIFY(bureau.attendre(20000));
    QString ecart;
    if (montree) {
        QTRY_VERIFY2_WITH_TIMEOUT(montre(quadrantsEtires, &ecart), qPrintable(ecart), 10000);
    } else {
        QTest::qWait(1000);
        QVERIFY2(montre(magentaEtire, &ecart), qPrintable(ecart));
    }
    QCOMPARE(nosSwaybg().size(), 1);
}

QTEST_MAIN(TestBureauCalque)
#include "bureaucalque.moc"
