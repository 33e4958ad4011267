#include "ui/filtre.h"
#include "ui/formulairepapirol2.h"
#include "ui/intervalleperso.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

/** A window carrying the form, with the slots a real window would declare to be wired by name. */
class FenetreEssai final : public QWidget
{
    Q_OBJECT

public:
    Ui::Papirol2Class ui;
    int ajouts = 0;
    int suppressions = 0;

private slots:
    void on_boutonAjouter_clicked() { ++ajouts; }
    void on_boutonSupprimer_clicked() { ++suppressions; }
};

/** How the user leaves a dialog. */
enum class Fin { OK, Entree, Echap, Fermeture };

std::unique_ptr<QDialog> creerDialogue(const QString &quel)
{
    if (quel == QLatin1String("filtre"))
        return std::make_unique<Filtre>();
    return std::make_unique<IntervallePerso>();
}

QLineEdit *champ(QDialog *dialogue)
{
    const auto champs = dialogue->findChildren<QLineEdit *>();
    return champs.size() == 1 ? champs.first() : nullptr;
}

QImage argb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/** Runs exec() while `pendant` acts on the shown dialog; false if exec() had to be ended from outside. */
bool executer(QDialog *dialogue, const std::function<void()> &pendant, int *resultat)
{
    bool secours = false;
    QTimer::singleShot(0, dialogue, pendant);
    QTimer garde;
    garde.setSingleShot(true);
    QObject::connect(&garde, &QTimer::timeout, dialogue, [&] {
        secours = true;
        dialogue->done(-1);
    });
    garde.start(10000);
    *resultat = dialogue->exec();
    return !secours;
}

const QString texteFiltre = QStringLiteral(
    "Veuillez saisir le filtre à utiliser pour chercher des fonds d'écran dans le répertoire sélectionné :");
const QString texteIntervalle = QStringLiteral(
    "Veuillez saisir la durée de l'intervalle que vous désirez entre deux changements de fond d'écran :");

} // namespace

class TestFormulaires : public QObject
{
    Q_OBJECT

private slots:
    void fenetreDeTailleFixe()
    {
        FenetreEssai fenetre;
        fenetre.ui.setupUi(&fenetre);
        QCOMPARE(fenetre.objectName(), QStringLiteral("Papirol2Class"));
        QCOMPARE(fenetre.windowTitle(), QStringLiteral("Papirol 2"));
        QCOMPARE(fenetre.size(), QSize(600, 400));
        QCOMPARE(fenetre.minimumSize(), QSize(600, 400));
        QCOMPARE(fenetre.maximumSize(), QSize(600, 400));
        QCOMPARE(fenetre.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(fenetre.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        fenetre.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fenetre));
        fenetre.resize(800, 600);
        QCOMPARE(fenetre.size(), QSize(600, 400));
        fenetre.resize(300, 200);
        QCOMPARE(fenetre.size(), QSize(600, 400));
    }

    void fenetreNeNommePasSiDejaNommee()
    {
        QWidget fenetre;
        fenetre.setObjectName(QStringLiteral("principale"));
        Ui::Papirol2Class ui;
        ui.setupUi(&fenetre);
        QCOMPARE(fenetre.objectName(), QStringLiteral("principale"));
    }

    void fenetreEnfants_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QByteArray>("classe");
        QTest::addColumn<QRect>("geometrie");
        QTest::addColumn<QString>("texte");
        QTest::newRow("table") << QStringLiteral("tableView") << QByteArray("QTableView")
                               << QRect(10, 10, 581, 351) << QString();
        QTest::newRow("ajouter") << QStringLiteral("boutonAjouter") << QByteArray("QPushButton")
                                 << QRect(10, 370, 75, 23) << QStringLiteral("Ajouter");
        QTest::newRow("supprimer") << QStringLiteral("boutonSupprimer") << QByteArray("QPushButton")
                                   << QRect(100, 370, 75, 23) << QStringLiteral("Supprimer");
    }
    void fenetreEnfants()
    {
        QFETCH(QString, nom);
        QFETCH(QByteArray, classe);
        QFETCH(QRect, geometrie);
        QFETCH(QString, texte);
        QWidget fenetre;
        Ui::Papirol2Class ui;
        ui.setupUi(&fenetre);
        auto *enfant = fenetre.findChild<QWidget *>(nom, Qt::FindDirectChildrenOnly);
        QVERIFY(enfant);
        QCOMPARE(QByteArray(enfant->metaObject()->className()), classe);
        QCOMPARE(enfant->geometry(), geometrie);
        if (!texte.isNull())
            QCOMPARE(enfant->property("text").toString(), texte);
        QCOMPARE(enfant,
                 nom == QLatin1String("tableView")           ? static_cast<QWidget *>(ui.tableView)
                     : nom == QLatin1String("boutonAjouter") ? static_cast<QWidget *>(ui.boutonAjouter)
                                                             : static_cast<QWidget *>(ui.boutonSupprimer));
    }

    void fenetreTable()
    {
        QWidget fenetre;
        Ui::Papirol2Class ui;
        ui.setupUi(&fenetre);
        QTableView *table = ui.tableView;
        QVERIFY(!table->model());
        QCOMPARE(table->property("showDropIndicator"), QVariant(false));
        QVERIFY(!table->showDropIndicator());
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->textElideMode(), Qt::ElideNone);
        QCOMPARE(table->gridStyle(), Qt::DashLine);
        QVERIFY(table->horizontalHeader()->cascadingSectionResizes());
        QVERIFY(!table->horizontalHeader()->highlightSections());
        QVERIFY(table->horizontalHeader()->stretchLastSection());
        QVERIFY(table->verticalHeader()->isHidden());
        QVERIFY(!table->verticalHeader()->highlightSections());
    }

    void fenetreBoutonsReliesParNom()
    {
        FenetreEssai fenetre;
        fenetre.ui.setupUi(&fenetre);
        fenetre.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fenetre));
        QTest::mouseClick(fenetre.ui.boutonAjouter, Qt::LeftButton);
        QCOMPARE(fenetre.ajouts, 1);
        QCOMPARE(fenetre.suppressions, 0);
        QTest::mouseClick(fenetre.ui.boutonSupprimer, Qt::LeftButton);
        QCOMPARE(fenetre.ajouts, 1);
        QCOMPARE(fenetre.suppressions, 1);
    }

    void dialogues_data()
    {
        QTest::addColumn<QString>("quel");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QString>("titre");
        QTest::addColumn<QStringList>("enfants");
        QTest::newRow("filtre") << QStringLiteral("filtre") << QStringLiteral("filtreClass")
                                << QStringLiteral("Définition du filtre")
                                << QStringList {QStringLiteral("label"), QStringLiteral("filtre"),
                                                QStringLiteral("OK")};
        QTest::newRow("intervalle") << QStringLiteral("intervalle") << QStringLiteral("intervallePersoClass")
                                    << QStringLiteral("Définition de l'intervalle personnalisé")
                                    << QStringList {QStringLiteral("label"), QStringLiteral("label_2"),
                                                    QStringLiteral("intervalle"), QStringLiteral("OK")};
    }
    void dialogues()
    {
        QFETCH(QString, quel);
        QFETCH(QString, nom);
        QFETCH(QString, titre);
        QFETCH(QStringList, enfants);
        const auto dialogue = creerDialogue(quel);
        QCOMPARE(dialogue->objectName(), nom);
        QCOMPARE(dialogue->windowTitle(), titre);
        // The form's sizes hold where its texts fit; otherwise it grows by what the prompt lacks, no more.
        auto *invite = dialogue->findChild<QLabel *>(QStringLiteral("label"));
        const int surplus = invite->height() - 31;
        QVERIFY(surplus >= 0);
        QCOMPARE(dialogue->size(), QSize(260, 113 + surplus));
        for (QLabel *etiquette : dialogue->findChildren<QLabel *>()) {
            if (etiquette->wordWrap())
                QVERIFY(etiquette->height() >= etiquette->heightForWidth(etiquette->width()));
            else
                QVERIFY(etiquette->width() >= etiquette->sizeHint().width());
        }
        if (surplus > 0)
            QCOMPARE(invite->height(), invite->heightForWidth(invite->width()));
        QVERIFY(dialogue->isModal());
        QCOMPARE(dialogue->windowModality(), Qt::ApplicationModal);
        QStringList noms;
        for (QWidget *enfant : dialogue->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            noms.append(enfant->objectName());
        QCOMPARE(noms, enfants);
        for (QPushButton *bouton : dialogue->findChildren<QPushButton *>())
            QVERIFY(!bouton->isDefault());
        QVERIFY(!champ(dialogue.get())->validator());
        const QImage icone = argb(dialogue->windowIcon().pixmap(48, 48).toImage());
        QVERIFY(!icone.isNull());
        QCOMPARE(icone, argb(QImage(QStringLiteral(":/Papirol2.png"))));
    }

    void dialoguesEnfants_data()
    {
        QTest::addColumn<QString>("quel");
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QByteArray>("classe");
        QTest::addColumn<QRect>("geometrie");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<bool>("retourALaLigne");
        const QString f = QStringLiteral("filtre");
        const QString i = QStringLiteral("intervalle");
        QTest::newRow("filtre label") << f << QStringLiteral("label") << QByteArray("QLabel")
                                      << QRect(10, 10, 251, 31) << texteFiltre << true;
        QTest::newRow("filtre champ") << f << QStringLiteral("filtre") << QByteArray("QLineEdit")
                                      << QRect(20, 50, 221, 20) << QStringLiteral("*.jpg") << false;
        QTest::newRow("filtre OK") << f << QStringLiteral("OK") << QByteArray("QPushButton")
                                   << QRect(80, 80, 100, 23) << QStringLiteral("OK") << false;
        QTest::newRow("intervalle label") << i << QStringLiteral("label") << QByteArray("QLabel")
                                          << QRect(10, 10, 251, 31) << texteIntervalle << true;
        QTest::newRow("intervalle unité") << i << QStringLiteral("label_2") << QByteArray("QLabel")
                                          << QRect(180, 50, 61, 20) << QStringLiteral("seconde(s)") << false;
        QTest::newRow("intervalle champ") << i << QStringLiteral("intervalle") << QByteArray("QLineEdit")
                                          << QRect(20, 50, 151, 20) << QString(QLatin1String("")) << false;
        QTest::newRow("intervalle OK") << i << QStringLiteral("OK") << QByteArray("QPushButton")
                                       << QRect(80, 80, 100, 23) << QStringLiteral("OK") << false;
    }
    void dialoguesEnfants()
    {
        QFETCH(QString, quel);
        QFETCH(QString, nom);
        QFETCH(QByteArray, classe);
        QFETCH(QRect, geometrie);
        QFETCH(QString, texte);
        QFETCH(bool, retourALaLigne);
        const auto dialogue = creerDialogue(quel);
        auto *enfant = dialogue->findChild<QWidget *>(nom, Qt::FindDirectChildrenOnly);
        QVERIFY(enfant);
        QCOMPARE(QByteArray(enfant->metaObject()->className()), classe);
        const int surplus = dialogue->findChild<QLabel *>(QStringLiteral("label"))->height() - 31;
        if (nom == QLatin1String("label"))
            geometrie.setHeight(geometrie.height() + surplus);
        else
            geometrie.translate(0, surplus);
        if (nom == QLatin1String("label_2"))
            geometrie.setWidth(qMax(geometrie.width(), enfant->sizeHint().width()));
        QCOMPARE(enfant->geometry(), geometrie);
        QCOMPARE(enfant->property("text").toString(), texte);
        if (auto *etiquette = qobject_cast<QLabel *>(enfant))
            QCOMPARE(etiquette->wordWrap(), retourALaLigne);
    }

    void finDeSaisie_data()
    {
        QTest::addColumn<QString>("quel");
        QTest::addColumn<int>("fin");
        const QList<QPair<const char *, Fin>> fins {
            {"OK", Fin::OK}, {"Entrée", Fin::Entree}, {"Échap", Fin::Echap}, {"fermeture", Fin::Fermeture}};
        for (const QString &quel : {QStringLiteral("filtre"), QStringLiteral("intervalle")}) {
            for (const auto &fin : fins)
                QTest::addRow("%s %s", qPrintable(quel), fin.first) << quel << int(fin.second);
        }
    }
    void finDeSaisie()
    {
        QFETCH(QString, quel);
        QFETCH(int, fin);
        const auto dialogue = creerDialogue(quel);
        QLineEdit *saisie = champ(dialogue.get());
        QVERIFY(saisie);
        const bool estFiltre = quel == QLatin1String("filtre");
        const QString tape = estFiltre ? QStringLiteral("*.png") : QStringLiteral("120");
        bool visiblePendant = false;
        int resultat = 0;
        const bool fini = executer(
            dialogue.get(),
            [&] {
                visiblePendant = dialogue->isVisible();
                saisie->clear();
                QTest::keyClicks(saisie, tape);
                switch (Fin(fin)) {
                case Fin::OK:
                    QTest::mouseClick(dialogue->findChild<QPushButton *>(QStringLiteral("OK")),
                                      Qt::LeftButton);
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
            },
            &resultat);
        QVERIFY(visiblePendant);
        QVERIFY2(fini, "exec() did not return");
        QVERIFY(!dialogue->isVisible());
        // Every way out leaves the dialog rejected: callers read the field, not the result.
        QCOMPARE(resultat, int(QDialog::Rejected));
        if (estFiltre)
            QCOMPARE(static_cast<Filtre *>(dialogue.get())->getFiltre(), tape);
        else
            QCOMPARE(static_cast<IntervallePerso *>(dialogue.get())->getIntervalle(), 120);
    }

    void filtreTelQueTape_data()
    {
        QTest::addColumn<bool>("remplacer");
        QTest::addColumn<QString>("tape");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("intact") << false << QString() << QStringLiteral("*.jpg");
        QTest::newRow("vidé") << true << QString() << QString(QLatin1String(""));
        QTest::newRow("espaces") << true << QStringLiteral("  *.jpg  ") << QStringLiteral("  *.jpg  ");
        QTest::newRow("plusieurs") << true << QStringLiteral("*.jpg;*.png") << QStringLiteral("*.jpg;*.png");
    }
    void filtreTelQueTape()
    {
        QFETCH(bool, remplacer);
        QFETCH(QString, tape);
        QFETCH(QString, attendu);
        Filtre dialogue;
        QLineEdit *saisie = champ(&dialogue);
        dialogue.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialogue));
        if (remplacer) {
            saisie->selectAll();
            QTest::keyClick(saisie, Qt::Key_Delete);
            QTest::keyClicks(saisie, tape);
        }
        QTest::mouseClick(dialogue.findChild<QPushButton *>(QStringLiteral("OK")), Qt::LeftButton);
        QVERIFY(!dialogue.isVisible());
        QCOMPARE(dialogue.getFiltre(), attendu);
    }

    void intervalleLu_data()
    {
        QTest::addColumn<QString>("tape");
        QTest::addColumn<int>("entier");
        QTest::addColumn<bool>("valable");
        QTest::newRow("45") << QStringLiteral("45") << 45 << true;
        QTest::newRow("vide") << QString() << 0 << false;
        QTest::newRow("lettres") << QStringLiteral("abc") << 0 << false;
        QTest::newRow("décimal") << QStringLiteral("1.5") << 0 << false;
        QTest::newRow("négatif") << QStringLiteral("-10") << -10 << false;
        QTest::newRow("trop grand pour un int") << QStringLiteral("99999999999") << 0 << false;
        QTest::newRow("zéro") << QStringLiteral("0") << 0 << false;
        QTest::newRow("maximum") << QStringLiteral("2147483") << 2147483 << true;
        QTest::newRow("au-delà du maximum") << QStringLiteral("2147484") << 2147484 << false;
    }
    void intervalleLu()
    {
        QFETCH(QString, tape);
        QFETCH(int, entier);
        QFETCH(bool, valable);
        IntervallePerso dialogue;
        dialogue.setIntervalle(7);
        QLineEdit *saisie = champ(&dialogue);
        saisie->selectAll();
        QTest::keyClick(saisie, Qt::Key_Delete);
        QTest::keyClicks(saisie, tape);
        QCOMPARE(saisie->text(), tape.isNull() ? QString(QLatin1String("")) : tape);
        QCOMPARE(dialogue.getIntervalle(), entier);
        int secondes = -7;
        QCOMPARE(dialogue.lireIntervalle(&secondes), valable);
        QCOMPARE(secondes, valable ? entier : -7);
    }

    void intervalleAffiche_data()
    {
        QTest::addColumn<int>("secondes");
        QTest::addColumn<QString>("texte");
        QTest::newRow("une heure") << 3600 << QStringLiteral("3600");
        QTest::newRow("zéro") << 0 << QStringLiteral("0");
        QTest::newRow("négatif") << -5 << QStringLiteral("-5");
    }
    void intervalleAffiche()
    {
        QFETCH(int, secondes);
        QFETCH(QString, texte);
        IntervallePerso dialogue;
        dialogue.setIntervalle(secondes);
        QCOMPARE(champ(&dialogue)->text(), texte);
        QCOMPARE(dialogue.getIntervalle(), secondes);
    }
};

QTEST_MAIN(TestFormulaires)
#include "formulaires.moc"
