#include "desktop/bureausway.h"
#include "commun.h"

#include <QPainter>
#include <QtTest>

namespace {
// What the screen should show, as points "cX,Y" where c is the colour: r, g, b, y (the picture's
// quadrants), w (its white band), m (magenta) or . (the bare screen avec-wayland.sh gives sway).
bool montre(const QByteArray &attendu, QString *ecart)
{
    static const QHash<char, QColor> couleurs {{'r', Qt::red},
                                               {'g', Qt::green},
                                               {'b', Qt::blue},
                                               {'y', Qt::yellow},
                                               {'w', Qt::white},
                                               {'m', Qt::magenta},
                                               {'.', QColor(0x20, 0x30, 0x40)}};
    const QImage ecran = captureWayland();
    if (ecran.size() != QSize(640, 480)) {
        *ecart = QStringLiteral("no 640x480 capture from grim");
        return false;
    }
    for (const QByteArray &point : attendu.split(' ')) {
        const QList<QByteArray> xy = point.mid(1).split(',');
        const QColor vu = ecran.pixelColor(xy.at(0).toInt(), xy.at(1).toInt());
        if (!procheDe(vu, couleurs.value(point.at(0)))) {
            *ecart = vu.name() + QStringLiteral(" instead of ") + QString::fromLatin1(point);
            return false;
        }
    }
    return true;
}

const QByteArray magentaEtire = "m10,10 m630,470 m320,240";
const QByteArray quadrantsEtires = "w30,20 r200,20 g330,20 b200,460 y600,460";
} // namespace

class TestBureauSway final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void position_data();
    void position();
    void appliquer_data();
    void appliquer();

private:
    void montrerMagenta(BureauSway &bureau);

    QTemporaryDir dossier;
    QString quadrants, magenta;
};

void TestBureauSway::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("SWAYSOCK"), "run through avec-wayland.sh sway");
    // 200x100 with a white band down the left edge, so that every layout on the 640x480 screen differs.
    QImage image = imageQuadrants(200, 100);
    QPainter(&image).fillRect(0, 0, 20, 100, Qt::white);
    quadrants = dossier.filePath(QStringLiteral("quadrants.png"));
    QVERIFY(ecrireImage(quadrants, image));
    QImage uni(64, 48, QImage::Format_RGB32);
    uni.fill(Qt::magenta);
    magenta = dossier.filePath(QStringLiteral("magenta.png"));
    QVERIFY(ecrireImage(magenta, uni));
}

void TestBureauSway::montrerMagenta(BureauSway &bureau)
{
    bureau.enregistrerPosition(3);
    bureau.appliquerFondEcran(magenta);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(magentaEtire, &ecart), qPrintable(ecart), 10000);
}

void TestBureauSway::position_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("attendu");

    QTest::newRow("centrée") << 1
                             << QByteArray(".10,10 .630,470 r250,200 g400,200 b250,280 y400,280 w225,240");
    QTest::newRow("mosaïque") << 2 << QByteArray("w10,20 r30,20 g150,20 r230,20 r30,120 b30,170 b630,470");
    QTest::newRow("étirée") << 3 << quadrantsEtires;
    QTest::newRow("ajustée") << 4
                             << QByteArray(".320,20 .320,460 r200,100 g600,100 b200,380 y600,380 w30,240");
    QTest::newRow("remplie") << 5 << QByteArray("r30,20 g630,20 b30,460 y630,460");
}

void TestBureauSway::position()
{
    QFETCH(int, position);
    QFETCH(QByteArray, attendu);

    BureauSway bureau;
    montrerMagenta(bureau);
    bureau.appliquerFondEcran(quadrants);
    // The layout alone: the picture already shown comes back in it.
    bureau.enregistrerPosition(position);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(attendu, &ecart), qPrintable(ecart), 10000);
    QCOMPARE(BureauSway().lirePosition(), position);
}

void TestBureauSway::appliquer_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<bool>("socket");
    QTest::addColumn<bool>("montree");

    // sway runs the path through its own parser, then wordexp(): none of this may mean anything there.
    const QByteArray image = "image";
    QTest::newRow("guillemets et barre") << QStringLiteral("a'b\"c\\d\\\".png") << image << true << true;
    QTest::newRow("substitution") << QStringLiteral("$(touch x) `touch y` $HOME ${HOME} $mod $$ \\$x.png")
                                  << image << true << true;
    QTest::newRow("motifs et séparateurs")
        << QStringLiteral("*x?[ab]{c,d}~ un;deux,trois [con_id=1].png") << image << true << true;
    QTest::newRow("espaces et divers")
        << QStringLiteral("  deux  espaces   é漢字 🙂 %41 #!&|<>() \t=.png") << image << true << true;
    // sway says success for a file it cannot show, then shows nothing.
    QTest::newRow("absent") << QStringLiteral("absent.png") << QByteArray() << true << false;
    QTest::newRow("pas une image") << QStringLiteral("texte.png") << QByteArray("texte") << true << false;
    QTest::newRow("saut de ligne") << QStringLiteral("saut\nde ligne.png") << image << true << false;
    QTest::newRow("sans SWAYSOCK") << QStringLiteral("sans socket.png") << image << false << false;
}

void TestBureauSway::appliquer()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);
    QFETCH(bool, socket);
    QFETCH(bool, montree);

    const QString chemin = dossier.filePath(nom);
    QFile fichier(chemin);
    if (contenu == "image")
        QVERIFY(QFile::copy(quadrants, chemin));
    else if (!contenu.isEmpty())
        QVERIFY(fichier.open(QIODevice::WriteOnly) && fichier.write(contenu) > 0 && fichier.flush());
    BureauSway bureau;
    montrerMagenta(bureau);
    const QByteArray prise = qgetenv("SWAYSOCK");
    if (!socket)
        qunsetenv("SWAYSOCK");
    BureauSway envoi;
    qputenv("SWAYSOCK", prise);
    envoi.appliquerFondEcran(chemin);
    QVERIFY(envoi.attendre(10000));
    QString ecart;
    if (montree) {
        QTRY_VERIFY2_WITH_TIMEOUT(montre(quadrantsEtires, &ecart), qPrintable(ecart), 10000);
        return;
    }
    // Leave sway the time it takes to show a change, then look.
    QTest::qWait(1000);
    QVERIFY2(montre(magentaEtire, &ecart), qPrintable(ecart));
    // The picture kept for later layouts is still the last good one.
    bureau.enregistrerPosition(1);
    QVERIFY(bureau.attendre(10000));
    QTRY_VERIFY2_WITH_TIMEOUT(montre("m320,240 .10,10 .630,470", &ecart), qPrintable(ecart), 10000);
}

QTEST_MAIN(TestBureauSway)
#include "bureausway.moc"
