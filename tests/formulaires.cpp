// The bundled translations, on every platform: the standard texts of Qt's dialogs are French.
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

class TestFormulaires : public QObject
{
    Q_OBJECT

private slots:
    void lesBoutonsStandardSontEnFrancais()
    {
        QTranslator traducteur;
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QCoreApplication::installTranslator(&traducteur);
        QDialogButtonBox boutons(QDialogButtonBox::Cancel);
        QCOMPARE(boutons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annuler"));
    }
};

QTEST_MAIN(TestFormulaires)
#include "formulaires.moc"
