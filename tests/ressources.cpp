#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

// Linked through papirol_ui like the program, so this also proves the bundle gets registered from a static
// library.
class TestRessources : public QObject
{
    Q_OBJECT

private slots:
    void laRacineContientExactementIconeEtTraduction()
    {
        const QStringList fichiers = QDir(QStringLiteral(":/")).entryList(QDir::Files, QDir::Name);
        QCOMPARE(fichiers, QStringList({QStringLiteral("Papirol2.png"), QStringLiteral("qt_fr.qm")}));
    }

    void lIconeEstUnEcranBleuSurFondTransparent()
    {
        QImageReader lecteur(QStringLiteral(":/Papirol2.png"));
        QCOMPARE(lecteur.format(), QByteArray("png"));
        const QImage image = lecteur.read();
        QVERIFY2(!image.isNull(), qPrintable(lecteur.errorString()));
        QCOMPARE(image.size(), QSize(48, 48));
        QVERIFY(image.hasAlphaChannel());

        int transparents = 0;
        int bleus = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 0)
                    ++transparents;
                else if (c.alpha() == 255 && c.blue() > c.red() + 60 && c.blue() > c.green() + 20)
                    ++bleus;
            }
        }
        // The corners lie outside the monitor, and the blue screen fills much of the picture.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(47, 47).alpha(), 0);
        QVERIFY2(transparents > 48 * 4, qPrintable(QString::number(transparents)));
        QVERIFY2(bleus > 48 * 48 / 4, qPrintable(QString::number(bleus)));
    }

    void laTraductionQtEmbarqueeTraduitLesTextesStandard_data()
    {
        QTest::addColumn<QByteArray>("contexte");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("Annuler") << QByteArray("QPlatformTheme") << QByteArray("Cancel")
                                 << QStringLiteral("Annuler");
        QTest::newRow("Fermer") << QByteArray("QPlatformTheme") << QByteArray("Close")
                                << QStringLiteral("Fermer");
        QTest::newRow("Appliquer") << QByteArray("QPlatformTheme") << QByteArray("Apply")
                                   << QStringLiteral("Appliquer");
    }
    void laTraductionQtEmbarqueeTraduitLesTextesStandard()
    {
        QFETCH(QByteArray, contexte);
        QFETCH(QByteArray, source);
        QFETCH(QString, attendu);
        QCOMPARE(QCoreApplication::translate(contexte.constData(), source.constData()),
                 QString::fromLatin1(source));

        QTranslator traducteur;
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QVERIFY(QCoreApplication::installTranslator(&traducteur));
        const QString traduit = QCoreApplication::translate(contexte.constData(), source.constData());
        QCoreApplication::removeTranslator(&traducteur);
        QCOMPARE(traduit, attendu);
    }

    void unBoutonStandardSortEnFrancais()
    {
        QTranslator traducteur;
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QVERIFY(QCoreApplication::installTranslator(&traducteur));
        QDialogButtonBox boutons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        const QString texte = boutons.button(QDialogButtonBox::Cancel)->text();
        QCoreApplication::removeTranslator(&traducteur);
        QCOMPARE(texte, QStringLiteral("Annuler"));
    }
};

QTEST_MAIN(TestRessources)
#include "ressources.moc"
