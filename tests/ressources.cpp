#include <QApplication>
#include <QDialogButtonBox>
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
    void lIconeEstUnPngTransparentDe48()
    {
        QImageReader lecteur(QStringLiteral(":/Papirol2.png"));
        const QImage image = lecteur.read();
        QVERIFY2(!image.isNull(), qPrintable(lecteur.errorString()));
        QCOMPARE(image.size(), QSize(48, 48));
        QVERIFY(image.hasAlphaChannel());
        // Without a transparent surround the tray would show a square.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }

    void unBoutonStandardSortEnFrancais()
    {
        QTranslator traducteur;
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QVERIFY(QCoreApplication::installTranslator(&traducteur));
        QDialogButtonBox boutons(QDialogButtonBox::Cancel);
        const QString texte = boutons.button(QDialogButtonBox::Cancel)->text();
        QCoreApplication::removeTranslator(&traducteur);
        QCOMPARE(texte, QStringLiteral("Annuler"));
    }
};

QTEST_MAIN(TestRessources)
#include "ressources.moc"
