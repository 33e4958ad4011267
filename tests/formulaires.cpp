#include "ui/filtre.h"
#include "ui/intervalleperso.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

/** How the user leaves a dialog. */
enum class Fin { OK, Entree, Echap, Fermeture };

std::unique_ptr<QDialog> creerDialogue(const QString &quel)
{
    if (quel == QLatin1String("filtre"))
        return std::make_unique<Filtre>();
    return std::make_unique<IntervallePerso>();
}

} // namespace

class TestFormulaires : public QObject
{
    Q_OBJECT

private slots:
    void aucuneEtiquetteRognee_data()
    {
        QTest::addColumn<QString>("quel");
        QTest::addColumn<int>("facteur");
        for (const char *quel : {"filtre", "intervalle"}) {
            QTest::addRow("%s", quel) << QString::fromLatin1(quel) << 1;
            QTest::addRow("%s grande police", quel) << QString::fromLatin1(quel) << 2;
        }
    }
    void aucuneEtiquetteRognee()
    {
        QFETCH(QString, quel);
        QFETCH(int, facteur);
        const QFont police = QApplication::font();
        QFont grande = police;
        grande.setPointSizeF(police.pointSizeF() * facteur);
        QApplication::setFont(grande);
        const auto retablir = qScopeGuard([police] { QApplication::setFont(police); });
        const auto dialogue = creerDialogue(quel);

        auto *invite = dialogue->findChild<QLabel *>(QStringLiteral("label"));
        for (QLabel *etiquette : dialogue->findChildren<QLabel *>()) {
            if (etiquette->wordWrap())
                QVERIFY(etiquette->height() >= etiquette->heightForWidth(etiquette->width()));
            else
                QVERIFY2(etiquette->width() >= etiquette->sizeHint().width()
                             && etiquette->geometry().right() < dialogue->width(),
                         qPrintable(etiquette->text()));
        }
        // What lies below the prompt moved down with it and stays inside the dialog.
        for (QWidget *w : dialogue->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w != invite)
                QVERIFY(w->y() > invite->geometry().bottom() && w->geometry().bottom() < dialogue->height());
        }
    }

    void finDeSaisie_data()
    {
        QTest::addColumn<QString>("quel");
        QTest::addColumn<QString>("tape");
        QTest::addColumn<int>("fin");
        QTest::addColumn<int>("resultat");
        const QList<QPair<const char *, Fin>> fins {
            {"OK", Fin::OK}, {"Entrée", Fin::Entree}, {"Échap", Fin::Echap}, {"fermeture", Fin::Fermeture}};
        // The interval is read however the dialog is left; a filter is added only when confirmed.
        for (const auto &fin : fins) {
            QTest::addRow("intervalle %s", fin.first) << "intervalle"
                                                      << "120" << int(fin.second) << 0;
            const bool confirme = fin.second == Fin::OK || fin.second == Fin::Entree;
            QTest::addRow("filtre %s", fin.first) << "filtre"
                                                  << " *.png;*.gif " << int(fin.second) << int(confirme);
        }
        // A blank pattern cannot be confirmed: the dialog stays open.
        QTest::addRow("filtre vide OK") << "filtre"
                                        << "" << int(Fin::OK) << -1;
        QTest::addRow("filtre blanc Entrée") << "filtre"
                                             << "   " << int(Fin::Entree) << -1;
    }
    void finDeSaisie()
    {
        QFETCH(QString, quel);
        QFETCH(QString, tape);
        QFETCH(int, fin);
        QFETCH(int, resultat);
        const auto dialogue = creerDialogue(quel);
        QLineEdit *saisie = dialogue->findChild<QLineEdit *>();
        bool resteOuvert = false;
        QTimer::singleShot(0, dialogue.get(), [&] {
            saisie->clear();
            QTest::keyClicks(saisie, tape);
            switch (Fin(fin)) {
            case Fin::OK:
                QTest::mouseClick(dialogue->findChild<QPushButton *>(), Qt::LeftButton);
                break;
            case Fin::Entree:
                QTest::keyClick(saisie, Qt::Key_Return);
                break;
            case Fin::Echap:
                QTest::keyClick(saisie, Qt::Key_Escape);
                break;
            case Fin::Fermeture:
                dialogue->close();
                break;
            }
            resteOuvert = dialogue->isVisible();
            if (resteOuvert)
                dialogue->done(-1);
        });
        QCOMPARE(dialogue->exec(), resultat);
        QCOMPARE(resteOuvert, resultat == -1);
        if (quel == QLatin1String("filtre"))
            QCOMPARE(static_cast<Filtre *>(dialogue.get())->getFiltre(), tape);
        else
            QCOMPARE(static_cast<IntervallePerso *>(dialogue.get())->getIntervalle(), 120);
    }
};

QTEST_MAIN(TestFormulaires)
#include "formulaires.moc"
