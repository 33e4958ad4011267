// The dialog and the bundled translations, on every platform (the program's window is tested on Linux only).
#include "ui/saisie.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTranslator>

class TestFormulaires : public QObject
{
    Q_OBJECT

private slots:
    // Under a large font too, every text of the dialog shows whole.
    void aucuneEtiquetteRognee_data()
    {
        QTest::addColumn<QString>("unite");
        QTest::addColumn<int>("facteur");
        for (const int facteur : {1, 2}) {
            QTest::addRow("sans unité x%d", facteur) << QString() << facteur;
            QTest::addRow("unité x%d", facteur) << QStringLiteral("seconde(s)") << facteur;
        }
    }
    void aucuneEtiquetteRognee()
    {
        QFETCH(QString, unite);
        QFETCH(int, facteur);
        const QFont police = QApplication::font();
        QFont grande = police;
        grande.setPointSizeF(police.pointSizeF() * facteur);
        QApplication::setFont(grande);
        const auto retablir = qScopeGuard([police] { QApplication::setFont(police); });
        Saisie dialogue(QStringLiteral("Titre"),
                        QStringLiteral("Veuillez saisir la durée de l'intervalle que vous désirez entre deux "
                                       "changements de fond d'écran :"),
                        QStringLiteral("300"), unite);
        dialogue.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialogue));
        for (QLabel *etiquette : dialogue.findChildren<QLabel *>())
            QVERIFY2(etiquette->wordWrap()
                         ? etiquette->height() >= etiquette->heightForWidth(etiquette->width())
                         : etiquette->width() >= etiquette->sizeHint().width(),
                     qPrintable(etiquette->text()));
    }

    // The translations are bundled in the program, from its static library.
    void lesBoutonsStandardSontEnFrancais()
    {
        QTranslator traducteur;
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QCoreApplication::installTranslator(&traducteur);
        QDialogButtonBox boutons(QDialogButtonBox::Cancel);
        QCOMPARE(boutons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annuler"));
        QCoreApplication::removeTranslator(&traducteur);
    }
};

QTEST_MAIN(TestFormulaires)
#include "formulaires.moc"
