#include "ui/papirol2.h"
#include "commun.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {
QAction *entree(QMenu *menu, const char *texte)
{
    for (QAction *a : menu->actions())
        if (a->text() == QString::fromUtf8(texte))
            return a;
    return nullptr;
}

QByteArray groupe(int n, const QString &chemin, const char *filtre = "*.jpg", bool selectionne = true)
{
    return QStringLiteral("[Emplacement_%1]\npath=%2\nfiltre=%3\nselected=%4\n")
        .arg(n)
        .arg(chemin, QLatin1String(filtre), QLatin1String(selectionne ? "true" : "false"))
        .toUtf8();
}

// Runs f on the next modal dialog of the given class once it is shown. Single shots, not a repeating timer:
// f may run a nested event loop, in which Qt fires no timer started meanwhile.
void quandDialogue(const char *classe, std::function<void(QWidget *)> f)
{
    QTimer::singleShot(0, [classe, f]() {
        const auto essayer = [classe, f](const auto &suite) -> void {
            QWidget *w = QApplication::activeModalWidget();
            if (w && w->inherits(classe))
                return f(w);
            QTimer::singleShot(20, [suite]() { suite(suite); });
        };
        essayer(essayer);
    });
}
} // namespace

class TestPapirol2 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir configuration;
    QTranslator traducteur;
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;

    QString dossierImages(const QString &nom, int n)
    {
        for (int i = 0; i < n; ++i)
            creerImage(travail->chemin(QStringLiteral("%1/%2.jpg").arg(nom).arg(i)));
        return travail->chemin(nom);
    }
    static QMenu *menu(Papirol2 &p, const char *texte) { return entree(p.menu, texte)->menu(); }
    // The list window, opened as the user opens it: the last entry of "Emplacements".
    static Papirol2 &fenetre(Papirol2 &p)
    {
        if (!p.isVisible())
            menu(p, "Emplacements")->actions().last()->trigger();
        return p;
    }
    // Adds a location through the real dialogs; an empty folder cancels the folder dialog (asking no filter),
    // and without confirmer the filter dialog is left by Escape. The text of the folder dialog's Cancel.
    static QString ajouter(Papirol2 &p, const QString &dossier, const QString &filtre = QString(),
                           bool confirmer = true)
    {
        QString annuler;
        quandDialogue("QFileDialog", [&](QWidget *w) {
            auto *choix = static_cast<QFileDialog *>(w);
            annuler = choix->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->text();
            if (dossier.isEmpty())
                return choix->reject();
            choix->setDirectory(QFileInfo(dossier).path());
            choix->selectFile(dossier);
            quandDialogue("Saisie", [&](QWidget *d) {
                auto *ligne = d->findChild<QLineEdit *>();
                if (!filtre.isNull())
                    ligne->setText(filtre);
                QTest::keyClick(ligne, confirmer ? Qt::Key_Return : Qt::Key_Escape);
            });
            static_cast<QDialog *>(choix)->accept();
        });
        QTest::mouseClick(fenetre(p).boutonAjouter, Qt::LeftButton);
        return annuler;
    }
    static void supprimerLigne(Papirol2 &p, int ligne)
    {
        fenetre(p).table->selectionModel()->setCurrentIndex(p.emplacements->index(ligne, 0),
                                                            QItemSelectionModel::ClearAndSelect);
        QTest::mouseClick(p.boutonSupprimer, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        // The last picture shown is remembered under the configuration folder: one of the test's own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));
        // A native folder dialog (Windows') cannot be driven from here; Qt's own can.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        // As the program's start does.
        QVERIFY(traducteur.load(QStringLiteral("qt_fr"), QStringLiteral(":/")));
        QCoreApplication::installTranslator(&traducteur);
    }
    void init()
    {
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
        enregistreur = installerEnregistreur();
    }
    void cleanup()
    {
        installerBureau(nullptr);
        travail.reset();
    }

    void lIntervallePersonnalise_data()
    {
        QTest::addColumn<QString>("saisie");
        QTest::addColumn<bool>("parEchap");
        QTest::addColumn<int>("attendu");
        QTest::newRow("45 par Entrée") << QStringLiteral("45") << false << 45;
        QTest::newRow("45 par Échap") << QStringLiteral("45") << true << 45;
        QTest::newRow("lettres") << QStringLiteral("abc") << false << 300;
        QTest::newRow("zéro par Échap") << QStringLiteral("0") << true << 300;
        QTest::newRow("déborde en millisecondes") << QStringLiteral("2147484") << false << 300;
    }
    void lIntervallePersonnalise()
    {
        QFETCH(QString, saisie);
        QFETCH(bool, parEchap);
        QFETCH(int, attendu);
        QVERIFY(travail->ecrireIni("[Options]\ntimer=300\n"));
        Papirol2 p;
        const int avant = p.rotator->intervalleMs();
        const QByteArray iniAvant = travail->contenuIni();
        QString ouvertAvec;
        quandDialogue("Saisie", [&](QWidget *d) {
            auto *ligne = d->findChild<QLineEdit *>();
            ouvertAvec = ligne->text();
            ligne->setText(saisie);
            QTest::keyClick(ligne, parEchap ? Qt::Key_Escape : Qt::Key_Return);
        });
        QMenu *intervalle = menu(p, "Intervalle");
        entree(intervalle, "Personnalisé")->trigger();
        QCOMPARE(ouvertAvec, QStringLiteral("300"));
        QCOMPARE(lireTimer(), attendu);
        QCOMPARE(p.rotator->intervalleMs(), attendu == 300 ? avant : attendu * 1000);
        // A refused value leaves the file alone and the mark back on the interval still in force, in place.
        QVERIFY(entree(intervalle, attendu == 300 ? "5 minutes" : "Personnalisé")->isChecked());
        QCOMPARE(menu(p, "Intervalle"), intervalle);
        QVERIFY(attendu != 300 || travail->contenuIni() == iniAvant);
    }

    void ajouterPuisSupprimer()
    {
        const QStringList d = {dossierImages(QStringLiteral("a & b"), 2),
                               dossierImages(QStringLiteral("b"), 2), dossierImages(QStringLiteral("c"), 2)};
        QVERIFY(travail->ecrireIni(groupe(0, d[0]) + groupe(1, d[1], "*.jpg", false) + groupe(2, d[2])));
        Papirol2 p;
        QTRY_COMPARE_WITH_TIMEOUT(p.rotator->candidats().size(), 4, 20000);
        // Doubled so the menu shows the "&" instead of taking it for an accelerator.
        QCOMPARE(menu(p, "Emplacements")->actions().at(0)->text(),
                 QStringLiteral("*.jpg dans ")
                     + QString(d[0]).replace(QLatin1Char('&'), QStringLiteral("&&")));
        // Without a current row Supprimer removes nothing; cancelling either dialog or repeating a pair adds
        // nothing.
        const QByteArray avant = travail->contenuIni();
        QTest::mouseClick(fenetre(p).boutonSupprimer, Qt::LeftButton);
        // Qt's standard texts come from the bundled catalogue.
        QCOMPARE(ajouter(p, QString()), QStringLiteral("Annuler"));
        ajouter(p, d[1], QStringLiteral("*.gif"), false);
        ajouter(p, d[1]);
        QCOMPARE(p.emplacements->rowCount(), 3);
        QCOMPARE(travail->contenuIni(), avant);

        // A new location starts unselected: none of its pictures is drawn.
        ajouter(p, d[1], QStringLiteral("*.png"));
        QVERIFY(lireChemin(3) == d[1] && lireFiltre(3) == QLatin1String("*.png") && !lireSelection(3));
        QCOMPARE(p.rotator->candidats().size(), 4);

        supprimerLigne(p, 1);
        ouvrirConfiguration();
        QCOMPARE(QStringList({lireChemin(0), lireChemin(1), lireChemin(2)}), QStringList({d[0], d[2], d[1]}));
        QVERIFY(lireSelection(1) && !lireSelection(2) && !travail->contenuIni().contains("Emplacement_3"));

        // A removed selected folder leaves the rotation at once.
        supprimerLigne(p, 1);
        QCOMPARE(p.rotator->candidats().size(), 2);
        QVERIFY(p.rotator->candidats().first().startsWith(d[0]));
        supprimerLigne(p, 1);
        supprimerLigne(p, 0);
        QVERIFY(!travail->contenuIni().contains("Emplacement_") && !p.boutonSupprimer->isEnabled());
        QVERIFY(p.rotator->candidats().isEmpty());
        ajouter(p, d[1]);
        QVERIFY(p.boutonSupprimer->isEnabled() && enregistreur->appliques.isEmpty());
        // Closing the window only hides it: the program goes on in the tray, and "Activer" of the menu
        // rebuilt by the additions still drives the rotation.
        p.close();
        QVERIFY(!p.isVisible());
        entree(p.menu, "Activer")->trigger();
        QVERIFY(lireActif() && p.rotator->estActif());
    }
};

QTEST_MAIN(TestPapirol2)
#include "papirol2.moc"
