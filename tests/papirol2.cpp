#include "ui/papirol2.h"
#include "commun.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
QAction *entree(QMenu *menu, const char *texte)
{
    for (QAction *a : menu->actions())
        if (a->text() == QString::fromUtf8(texte))
            return a;
    return nullptr;
}

QByteArray groupe(int n, const QString &chemin, bool selectionne = true)
{
    return u"[Emplacement_%1]\npath=%2\nfiltre=*.jpg\nselected=%3\n"_s.arg(n)
        .arg(chemin)
        .arg(selectionne)
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

// Types texte, unless null, in the next Saisie and leaves it by that key.
void saisir(const QString &texte, Qt::Key touche)
{
    quandDialogue("Saisie", [=](QWidget *d) {
        auto *ligne = d->findChild<QLineEdit *>();
        if (!texte.isNull())
            ligne->setText(texte);
        QTest::keyClick(ligne, touche);
    });
}
} // namespace

class TestPapirol2 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir configuration;
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;

    static QMenu *menu(Papirol2 &p, const char *texte) { return entree(p.menu, texte)->menu(); }
    // The list window, opened as the user opens it: the last entry of "Emplacements".
    static Papirol2 &fenetre(Papirol2 &p)
    {
        if (!p.isVisible())
            menu(p, "Emplacements")->actions().last()->trigger();
        return p;
    }
    // Adds a location through the real dialogs; an empty folder cancels the folder dialog (asking no filter),
    // and the filter dialog is left by that key.
    static void ajouter(Papirol2 &p, const QString &dossier, const QString &filtre = {},
                        Qt::Key touche = Qt::Key_Return)
    {
        quandDialogue("QFileDialog", [&](QWidget *w) {
            auto *choix = static_cast<QFileDialog *>(w);
            if (dossier.isEmpty())
                return choix->reject();
            choix->setDirectory(QFileInfo(dossier).path());
            choix->selectFile(dossier);
            saisir(filtre, touche);
            static_cast<QDialog *>(choix)->accept();
        });
        QTest::mouseClick(fenetre(p).boutonAjouter, Qt::LeftButton);
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
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
        enregistreur = installerEnregistreur();
    }

    void lesDialogues()
    {
        const QStringList d = {travail->chemin(u"a & b"_s), travail->chemin(u"b"_s), travail->chemin(u"c"_s)};
        for (const QString &dossier : d)
            QVERIFY(creerImage(dossier + u"/1.jpg"_s) && creerImage(dossier + u"/2.jpg"_s));
        QVERIFY(travail->ecrireIni("[Options]\ntimer=300\n" + groupe(0, d[0]) + groupe(1, d[1], false)
                                   + groupe(2, d[2])));
        Papirol2 p;
        QTRY_COMPARE_WITH_TIMEOUT(p.rotator->candidats().size(), 4, 20000);
        // Without a current row Supprimer removes nothing; cancelling either dialog or repeating a pair adds
        // nothing.
        const QByteArray avant = travail->contenuIni();
        QTest::mouseClick(fenetre(p).boutonSupprimer, Qt::LeftButton);
        ajouter(p, QString());
        ajouter(p, d[1], u"*.gif"_s, Qt::Key_Escape);
        ajouter(p, d[1]);
        QCOMPARE(p.emplacements->rowCount(), 3);
        QCOMPARE(travail->contenuIni(), avant);

        // A new location starts unselected: none of its pictures is drawn.
        ajouter(p, d[1], u"*.png"_s);
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
        // "Activer" of the menu rebuilt by the additions still drives the rotation.
        entree(p.menu, "Activer")->trigger();
        QVERIFY(lireActif() && p.rotator->estActif());

        // The interval dialog is read however it is left: a value it refuses, 0 s or past the timer's reach
        // in milliseconds, leaves the file alone and the mark back on the interval in force, in place.
        QMenu *intervalle = menu(p, "Intervalle");
        const QByteArray ini = travail->contenuIni();
        for (const auto &[texte, touche] :
             {std::pair(u"0"_s, Qt::Key_Escape), {u"2147484"_s, Qt::Key_Return}}) {
            saisir(texte, touche);
            entree(intervalle, "Personnalisé")->trigger();
            QVERIFY(entree(intervalle, "5 minutes")->isChecked() && travail->contenuIni() == ini);
        }
        saisir(u"45"_s, Qt::Key_Escape);
        entree(intervalle, "Personnalisé")->trigger();
        QVERIFY(lireTimer() == 45 && p.rotator->intervalleMs() == 45000);
        QVERIFY(entree(intervalle, "Personnalisé")->isChecked() && menu(p, "Intervalle") == intervalle);
    }
};

QTEST_MAIN(TestPapirol2)
#include "papirol2.moc"
