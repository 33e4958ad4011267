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
        // The designed 260 × 113 holds where the prompt fits; otherwise it grows by what the prompt lacks.
        const int manque = invite->height() - 31;
        QVERIFY(facteur == 1 ? manque >= 0 : manque > 0);
        QCOMPARE(dialogue->size(), QSize(260, 113 + manque));
        if (manque > 0)
            QCOMPARE(invite->height(), invite->heightForWidth(invite->width()));
        for (QLabel *etiquette : dialogue->findChildren<QLabel *>()) {
            if (etiquette->wordWrap())
                QVERIFY(etiquette->height() >= etiquette->heightForWidth(etiquette->width()));
            else
                QVERIFY2(etiquette->width() >= etiquette->sizeHint().width(), qPrintable(etiquette->text()));
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
        QTest::addColumn<int>("fin");
        const QList<QPair<const char *, Fin>> fins {
            {"OK", Fin::OK}, {"Entrée", Fin::Entree}, {"Échap", Fin::Echap}, {"fermeture", Fin::Fermeture}};
        for (const char *quel : {"filtre", "intervalle"}) {
            for (const auto &fin : fins)
                QTest::addRow("%s %s", quel, fin.first) << QString::fromLatin1(quel) << int(fin.second);
        }
    }
    void finDeSaisie()
    {
        QFETCH(QString, quel);
        QFETCH(int, fin);
        const auto dialogue = creerDialogue(quel);
        QLineEdit *saisie = dialogue->findChild<QLineEdit *>();
        const bool estFiltre = quel == QLatin1String("filtre");
        // A filter is kept as typed, spaces and separators included.
        const QString tape = estFiltre ? QStringLiteral(" *.png;*.gif ") : QStringLiteral("120");
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
        });
        // Ends a hung exec() so the failure shows instead of the test timing out.
        QTimer::singleShot(10000, dialogue.get(), [&] { dialogue->done(-1); });
        // Every way out leaves the dialog rejected: callers read the field, not the result.
        QCOMPARE(dialogue->exec(), int(QDialog::Rejected));
        QVERIFY(!dialogue->isVisible());
        if (estFiltre)
            QCOMPARE(static_cast<Filtre *>(dialogue.get())->getFiltre(), tape);
        else
            QCOMPARE(static_cast<IntervallePerso *>(dialogue.get())->getIntervalle(), 120);
    }
};

QTEST_MAIN(TestFormulaires)
#include "formulaires.moc"
