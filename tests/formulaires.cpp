// The dialogs and the bundled translations, on every platform (the program's window is tested on Linux only).
#include "ui/filtre.h"
#include "ui/intervalleperso.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTranslator>

#include <memory>

class TestFormulaires : public QObject
{
    Q_OBJECT

private slots:
    // Under a large font too, every label of the dialogs shows whole, and what lies below the prompt moved
    // down with it.
    void aucuneEtiquetteRognee_data()
    {
        QTest::addColumn<bool>("filtre");
        QTest::addColumn<int>("facteur");
        for (const int facteur : {1, 2}) {
            QTest::addRow("filtre x%d", facteur) << true << facteur;
            QTest::addRow("intervalle x%d", facteur) << false << facteur;
        }
    }
    void aucuneEtiquetteRognee()
    {
        QFETCH(bool, filtre);
        QFETCH(int, facteur);
        const QFont police = QApplication::font();
        QFont grande = police;
        grande.setPointSizeF(police.pointSizeF() * facteur);
        QApplication::setFont(grande);
        const auto retablir = qScopeGuard([police] { QApplication::setFont(police); });
        const std::unique_ptr<QDialog> dialogue
            = filtre ? std::unique_ptr<QDialog>(new Filtre) : std::unique_ptr<QDialog>(new IntervallePerso);
        auto *invite = dialogue->findChild<QLabel *>(QStringLiteral("label"));
        for (QLabel *etiquette : dialogue->findChildren<QLabel *>())
            QVERIFY2(etiquette->wordWrap()
                         ? etiquette->height() >= etiquette->heightForWidth(etiquette->width())
                         : etiquette->width() >= etiquette->sizeHint().width()
                             && etiquette->geometry().right() < dialogue->width(),
                     qPrintable(etiquette->text()));
        for (QWidget *w : dialogue->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY(w == invite
                    || (w->y() > invite->geometry().bottom() && w->geometry().bottom() < dialogue->height()));
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
