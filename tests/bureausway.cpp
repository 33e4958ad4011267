#include "desktop/bureausway.h"
#include "commun.h"

#include <QPainter>
#include <QProcess>
#include <QtTest>

namespace {
// Expected colour at a screen point; an invalid colour means "none of the picture's colours".
struct Point
{
    QPoint ou;
    QColor couleur;
};
using Points = QList<Point>;
} // namespace
Q_DECLARE_METATYPE(Points)
namespace {

// 200x100 quadrants with a white band down the left edge, so that every layout of it on a 640x480
// screen differs from the others somewhere.
QImage imageTest()
{
    QImage image = imageQuadrants(200, 100);
    QPainter(&image).fillRect(0, 0, 20, 100, Qt::white);
    return image;
}

QImage capture()
{
    QProcess grim;
    grim.start(QStringLiteral("grim"), {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-")});
    if (!grim.waitForFinished(30000) || grim.exitCode() != 0)
        return {};
    return QImage::fromData(grim.readAllStandardOutput(), "PNG");
}

bool montre(const Points &points, QString *ecart)
{
    const QImage ecran = capture();
    if (ecran.isNull()) {
        *ecart = QStringLiteral("grim failed");
        return false;
    }
    static const QList<QColor> couleursImage {Qt::red,    Qt::green, Qt::blue,
                                              Qt::yellow, Qt::white, Qt::magenta};
    for (const Point &p : points) {
        const QColor vu = ecran.pixelColor(p.ou);
        const bool bon = p.couleur.isValid() ? procheDe(vu, p.couleur)
                                             : std::none_of(couleursImage.cbegin(), couleursImage.cend(),
                                                            [&](QColor c) { return procheDe(vu, c); });
        if (!bon) {
            *ecart
                = QStringLiteral("at %1,%2: %3 instead of %4")
                      .arg(p.ou.x())
                      .arg(p.ou.y())
                      .arg(vu.name(), p.couleur.isValid() ? p.couleur.name() : QStringLiteral("background"));
            return false;
        }
    }
    return true;
}

const Points magentaEtire {{{10, 10}, Qt::magenta}, {{630, 470}, Qt::magenta}, {{320, 240}, Qt::magenta}};
const Points magentaCentre {{{320, 240}, Qt::magenta}, {{10, 10}, QColor()}, {{630, 470}, QColor()}};
const Points quadrantsEtires {{{30, 20}, Qt::white},
                              {{200, 20}, Qt::red},
                              {{330, 20}, Qt::green},
                              {{200, 460}, Qt::blue},
                              {{600, 460}, Qt::yellow}};
} // namespace

class TestBureauSway final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void position_data();
    void position();
    void nomHostile_data();
    void nomHostile();
    void rienNeChange_data();
    void rienNeChange();

private:
    void montrerMagenta(BureauSway &bureau);

    QTemporaryDir dossier;
    QString quadrants, magenta;
};

void TestBureauSway::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("SWAYSOCK"), "run through avec-sway.sh");
    quadrants = dossier.filePath(QStringLiteral("quadrants.png"));
    magenta = dossier.filePath(QStringLiteral("magenta.png"));
    QVERIFY(ecrireImage(quadrants, imageTest()));
    QImage uni(64, 48, QImage::Format_RGB32);
    uni.fill(Qt::magenta);
    QVERIFY(ecrireImage(magenta, uni));
    QCOMPARE(capture().size(), QSize(640, 480));
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
    QTest::addColumn<Points>("points");

    const QColor fond;
    QTest::newRow("centrée") << 1 << Points {{{10, 10}, fond},       {{630, 470}, fond},
                                             {{250, 200}, Qt::red},  {{400, 200}, Qt::green},
                                             {{250, 280}, Qt::blue}, {{400, 280}, Qt::yellow},
                                             {{225, 240}, Qt::white}};
    QTest::newRow("mosaïque") << 2
                              << Points {{{10, 20}, Qt::white}, {{30, 20}, Qt::red},  {{150, 20}, Qt::green},
                                         {{230, 20}, Qt::red},  {{30, 120}, Qt::red}, {{30, 170}, Qt::blue},
                                         {{630, 470}, Qt::blue}};
    QTest::newRow("étirée") << 3 << quadrantsEtires;
    QTest::newRow("ajustée") << 4 << Points {{{320, 20}, fond},      {{320, 460}, fond},
                                             {{200, 100}, Qt::red},  {{600, 100}, Qt::green},
                                             {{200, 380}, Qt::blue}, {{600, 380}, Qt::yellow},
                                             {{30, 240}, Qt::white}};
    QTest::newRow("remplie") << 5
                             << Points {{{30, 20}, Qt::red},
                                        {{630, 20}, Qt::green},
                                        {{30, 460}, Qt::blue},
                                        {{630, 460}, Qt::yellow}};
}

void TestBureauSway::position()
{
    QFETCH(int, position);
    QFETCH(Points, points);

    BureauSway bureau;
    montrerMagenta(bureau);
    bureau.appliquerFondEcran(quadrants);
    // The layout alone: the picture already shown comes back in it.
    bureau.enregistrerPosition(position);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(points, &ecart), qPrintable(ecart), 10000);
    QCOMPARE(bureau.lirePosition(), position);
    QCOMPARE(BureauSway().lirePosition(), position);
}

void TestBureauSway::nomHostile_data()
{
    QTest::addColumn<QString>("nom");
    QTest::newRow("guillemets et barre") << QStringLiteral("a'b\"c\\d\\\".png");
    QTest::newRow("substitution") << QStringLiteral("$(touch pwned) `touch pwned2`.png");
    QTest::newRow("variables") << QStringLiteral("$HOME ${HOME} $mod $$ \\$x.png");
    QTest::newRow("motifs") << QStringLiteral("*x?[ab]{c,d}~.png");
    QTest::newRow("séparateurs de sway") << QStringLiteral("un;deux,trois [con_id=1].png");
    QTest::newRow("espaces doubles") << QStringLiteral("  deux  espaces   trois .png");
    QTest::newRow("divers") << QStringLiteral("é漢字 🙂 %41 #!&|<>() \t=.png");
}

void TestBureauSway::nomHostile()
{
    QFETCH(QString, nom);

    const QString chemin = dossier.filePath(nom);
    QVERIFY(QFile::copy(quadrants, chemin));
    BureauSway bureau;
    montrerMagenta(bureau);
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(quadrantsEtires, &ecart), qPrintable(ecart), 10000);
}

void TestBureauSway::rienNeChange_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("contenu");

    QTest::newRow("absent") << QStringLiteral("absent.png") << QByteArray();
    QTest::newRow("pas une image") << QStringLiteral("texte.png") << QByteArray("not a picture\n");
    QTest::newRow("saut de ligne") << QStringLiteral("saut\nde ligne.png") << QByteArray("copie");
}

void TestBureauSway::rienNeChange()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, contenu);

    const QString chemin = dossier.filePath(nom);
    if (contenu == "copie") {
        QVERIFY(QFile::copy(quadrants, chemin));
    } else if (!contenu.isEmpty()) {
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contenu);
    }
    BureauSway bureau;
    montrerMagenta(bureau);
    bureau.appliquerFondEcran(chemin);
    QVERIFY(bureau.attendre(10000));
    // Leave sway the time it takes to show a change, then look.
    QTest::qWait(1000);
    QString ecart;
    QVERIFY2(montre(magentaEtire, &ecart), qPrintable(ecart));
    // The picture kept for later layouts is still the last good one.
    bureau.enregistrerPosition(1);
    QVERIFY(bureau.attendre(10000));
    QTRY_VERIFY2_WITH_TIMEOUT(montre(magentaCentre, &ecart), qPrintable(ecart), 10000);
}

QTEST_MAIN(TestBureauSway)
#include "bureausway.moc"
