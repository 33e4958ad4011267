#include "desktop/wayland/bureausway.h"
#include "commun.h"

#include <QtTest>

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
    quadrants = dossier.filePath(QStringLiteral("quadrants.png"));
    QVERIFY(ecrireImage(quadrants, imageBandeBlanche()));
    magenta = dossier.filePath(QStringLiteral("magenta.png"));
    QVERIFY(ecrireImage(magenta, imageUnie(Qt::magenta)));
}

void TestBureauSway::montrerMagenta(BureauSway &bureau)
{
    disposerSur(bureau, 3, 0);
    bureau.montrer(magenta);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(magentaEtire, &ecart), qPrintable(ecart), 10000);
}

void TestBureauSway::position_data()
{
    lignesDePosition();
}

void TestBureauSway::position()
{
    QFETCH(int, position);
    QFETCH(QByteArray, attendu);

    BureauSway bureau;
    montrerMagenta(bureau);
    bureau.montrer(quadrants);
    // The layout alone: the picture already shown comes back in it.
    disposerSur(bureau, position, 0);
    QVERIFY(bureau.attendre(10000));
    QString ecart;
    QTRY_VERIFY2_WITH_TIMEOUT(montre(attendu, &ecart), qPrintable(ecart), 10000);
    BureauSway autre;
    QCOMPARE(positionSur(autre), position);
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
    envoi.montrer(chemin);
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
    disposerSur(bureau, 1, 0);
    QVERIFY(bureau.attendre(10000));
    QTRY_VERIFY2_WITH_TIMEOUT(montre("m320,240 .10,10 .630,470", &ecart), qPrintable(ecart), 10000);
}

QTEST_MAIN(TestBureauSway)
#include "bureausway.moc"
