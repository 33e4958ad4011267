#include "ui/papirol2.h"
#include "commun.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"
#include "ui/intervalleperso.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
QAction *entree(QMenu *menu, const QString &texte)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == texte)
            return a;
    }
    return nullptr;
}

QMenu *sousMenu(QMenu *menu, const QString &texte)
{
    QAction *a = entree(menu, texte);
    return a ? a->menu() : nullptr;
}

QStringList textes(QMenu *menu)
{
    QStringList resultat;
    for (QAction *a : menu->actions())
        resultat << (a->isSeparator() ? QStringLiteral("—") : a->text());
    return resultat;
}

QString coches(QMenu *menu)
{
    QStringList resultat;
    for (QAction *a : menu->actions()) {
        if (a->isChecked())
            resultat << a->text();
    }
    return resultat.join(QLatin1Char(','));
}

// Runs f on the next modal dialog of the given class once it is shown.
void quandDialogue(const char *classe, std::function<void(QWidget *)> f)
{
    QTimer::singleShot(0, [classe, f]() {
        const auto essayer = [classe, f](const auto &suite) -> void {
            QWidget *w = QApplication::activeModalWidget();
            if (w && w->inherits(classe)) {
                f(w);
                return;
            }
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
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;

    void ecrireIni(const QByteArray &texte)
    {
        QFile f(travail->ini());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(texte);
        f.close();
        ouvrirConfiguration();
    }
    QString dossierImages(const QString &nom, int n)
    {
        const QString dossier = travail->chemin(nom);
        QDir().mkpath(dossier);
        for (int i = 0; i < n; ++i) {
            QFile f(QStringLiteral("%1/%2.jpg").arg(dossier).arg(i));
            f.open(QIODevice::WriteOnly);
        }
        return dossier;
    }
    QMenu *menuDe(Papirol2 &p) { return p.menu; }
    QPushButton *supprimer(Papirol2 &p) { return p.ui.boutonSupprimer; }
    QByteArray contenuIni() const
    {
        QFile f(travail->ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Adds a location through the real dialogs; an empty folder cancels the folder dialog.
    void ajouter(Papirol2 &p, const QString &dossier, const QString &filtre = QString(),
                 bool parTitre = false)
    {
        bool filtreVu = false;
        QString legende, depart;
        quandDialogue("QFileDialog", [&](QWidget *w) {
            auto *choix = static_cast<QFileDialog *>(w);
            legende = choix->windowTitle();
            depart = choix->directory().path();
            if (dossier.isEmpty()) {
                choix->reject();
                return;
            }
            choix->setDirectory(QFileInfo(dossier).path());
            choix->selectFile(dossier);
            quandDialogue("Filtre", [&](QWidget *d) {
                filtreVu = true;
                if (!filtre.isNull())
                    d->findChild<QLineEdit *>(QStringLiteral("filtre"))->setText(filtre);
                if (parTitre)
                    d->close();
                else
                    QTest::keyClick(d->findChild<QLineEdit *>(QStringLiteral("filtre")), Qt::Key_Return);
            });
            static_cast<QDialog *>(choix)->accept();
        });
        QTest::mouseClick(p.ui.boutonAjouter, Qt::LeftButton);
        QCOMPARE(legende, QStringLiteral("Sélectionnez un répertoire"));
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (QDir(documents).exists())
            QCOMPARE(QDir(depart), QDir(documents));
        QCOMPARE(filtreVu, !dossier.isEmpty());
    }
    void supprimerLigne(Papirol2 &p, int ligne)
    {
        if (ligne >= 0)
            p.ui.tableView->selectionModel()->setCurrentIndex(p.emplacements->index(ligne, 0),
                                                              QItemSelectionModel::ClearAndSelect);
        QTest::mouseClick(p.ui.boutonSupprimer, Qt::LeftButton);
    }
    Rotator *rotatorDe(Papirol2 &p) { return p.rotator; }

private slots:
    void init()
    {
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
        auto b = std::make_unique<BureauEnregistreur>();
        enregistreur = b.get();
        installerBureau(std::move(b));
    }
    void cleanup()
    {
        installerBureau(nullptr);
        travail.reset();
    }

    void leMenuRelitCeQuiEstStocke_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("intervalle");
        QTest::addColumn<int>("timerPerso");
        QTest::addColumn<QString>("disposition");
        QTest::newRow("ini vide") << QByteArray() << 0 << QStringLiteral("Personnalisé") << 0 << QString();
        QTest::newRow("30 s") << QByteArray("[Options]\ntimer=30\n") << 3 << QStringLiteral("30 secondes")
                              << 30 << QStringLiteral("Étirer");
        QTest::newRow("45 s") << QByteArray("[Options]\ntimer=45\n") << 2 << QStringLiteral("Personnalisé")
                              << 45 << QStringLiteral("Mosaïque");
        QTest::newRow("300 s") << QByteArray("[Options]\ntimer=300\n") << 5 << QStringLiteral("5 minutes")
                               << 300 << QStringLiteral("Remplissage");
        QTest::newRow("disposition inconnue")
            << QByteArray("[Options]\ntimer=600\n") << 42 << QStringLiteral("10 minutes") << 600 << QString();
    }
    void leMenuRelitCeQuiEstStocke()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, position);
        QFETCH(QString, intervalle);
        QFETCH(int, timerPerso);
        QFETCH(QString, disposition);
        ecrireIni(ini);
        enregistreur->position = position;
        Papirol2 p;
        QVERIFY(!p.isVisible());
        QMenu *menu = menuDe(p);
        QCOMPARE(
            textes(menu),
            (QStringList {QStringLiteral("Changer"), QStringLiteral("Activer"), QStringLiteral("—"),
                          QStringLiteral("Intervalle"), QStringLiteral("Position"),
                          QStringLiteral("Emplacements"), QStringLiteral("—"), QStringLiteral("Quitter")}));
        QVERIFY(entree(menu, QStringLiteral("Activer"))->isCheckable());
        QVERIFY(!entree(menu, QStringLiteral("Activer"))->isChecked());
        QMenu *mi = sousMenu(menu, QStringLiteral("Intervalle"));
        QCOMPARE(textes(mi),
                 (QStringList {QStringLiteral("30 secondes"), QStringLiteral("1 minute"),
                               QStringLiteral("2 minutes"), QStringLiteral("5 minutes"),
                               QStringLiteral("10 minutes"), QStringLiteral("Personnalisé")}));
        QCOMPARE(coches(mi), intervalle);
        QCOMPARE(entree(mi, QStringLiteral("Personnalisé"))->property("timer").toInt(), timerPerso);
        QVERIFY(entree(mi, QStringLiteral("Personnalisé"))->property("perso").toBool());
        QCOMPARE(entree(mi, QStringLiteral("2 minutes"))->property("timer").toInt(), 120);
        QMenu *mp = sousMenu(menu, QStringLiteral("Position"));
        QCOMPARE(
            textes(mp),
            (QStringList {QStringLiteral("Étirer"), QStringLiteral("Mosaïque"), QStringLiteral("Centrer"),
                          QStringLiteral("Ajuster"), QStringLiteral("Remplissage")}));
        QCOMPARE(coches(mp), disposition);
        QMenu *me = sousMenu(menu, QStringLiteral("Emplacements"));
        QCOMPARE(textes(me), (QStringList {QStringLiteral("—"), QStringLiteral("Modifier la liste")}));
        QVERIFY(enregistreur->appliques.isEmpty());
    }

    void lesEmplacementsDuMenu()
    {
        const QString a = dossierImages(QStringLiteral("a & b"), 3);
        ecrireIni(QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n"
                                 "[Emplacement_1]\npath=%1\nfiltre=*.png\nselected=false\n")
                      .arg(a)
                      .toUtf8());
        Papirol2 p;
        QMenu *me = sousMenu(menuDe(p), QStringLiteral("Emplacements"));
        QString echappe = a;
        echappe.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QCOMPARE(
            textes(me),
            (QStringList {QStringLiteral("*.jpg dans ") + echappe, QStringLiteral("*.png dans ") + echappe,
                          QStringLiteral("—"), QStringLiteral("Modifier la liste")}));
        QCOMPARE(me->actions().at(0)->property("index").toInt(), 0);
        QCOMPARE(me->actions().at(1)->property("index").toInt(), 1);
        QVERIFY(me->actions().at(0)->isChecked());
        QVERIFY(!me->actions().at(1)->isChecked());
        QCOMPARE(rotatorDe(p)->candidats().size(), 3);

        // Switching a location out rewrites its group and its pictures, and leaves the wallpaper alone.
        me->actions().at(0)->trigger();
        QCOMPARE(lireSelection(0), false);
        QCOMPARE(lireChemin(0), a);
        QCOMPARE(rotatorDe(p)->candidats().size(), 0);
        me->actions().at(0)->trigger();
        QCOMPARE(lireSelection(0), true);
        QCOMPARE(rotatorDe(p)->candidats().size(), 3);
        QVERIFY(enregistreur->appliques.isEmpty());

        me->actions().last()->trigger();
        QVERIFY(p.isVisible());
        p.close();
        QVERIFY(!p.isVisible());
    }

    void activerDemarreEtArrete()
    {
        const QString a = dossierImages(QStringLiteral("a"), 3);
        ecrireIni(
            QStringLiteral("[Options]\ntimer=120\n[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n")
                .arg(a)
                .toUtf8());
        Papirol2 p;
        QAction *activer = entree(menuDe(p), QStringLiteral("Activer"));
        activer->trigger();
        QCOMPARE(lireActif(), true);
        QCOMPARE(enregistreur->appliques.size(), 1);
        QVERIFY(rotatorDe(p)->estActif());
        QCOMPARE(rotatorDe(p)->intervalleMs(), 120000);
        activer->trigger();
        QCOMPARE(lireActif(), false);
        QVERIFY(!rotatorDe(p)->estActif());
        QCOMPARE(enregistreur->appliques.size(), 1);
    }

    void uneRotationStockeeDemarreAuLancement()
    {
        const QString a = dossierImages(QStringLiteral("a"), 3);
        ecrireIni(QStringLiteral("[Options]\nactive=true\ntimer=300\n"
                                 "[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n")
                      .arg(a)
                      .toUtf8());
        Papirol2 p;
        QCOMPARE(enregistreur->appliques.size(), 1);
        QVERIFY(rotatorDe(p)->estActif());
        QCOMPARE(rotatorDe(p)->intervalleMs(), 300000);
        QVERIFY(entree(menuDe(p), QStringLiteral("Activer"))->isChecked());
    }

    void lesIntervallesPredefinis()
    {
        Papirol2 p;
        QMenu *mi = sousMenu(menuDe(p), QStringLiteral("Intervalle"));
        const QList<QPair<QString, int>> cas = {{QStringLiteral("30 secondes"), 30},
                                                {QStringLiteral("1 minute"), 60},
                                                {QStringLiteral("2 minutes"), 120},
                                                {QStringLiteral("5 minutes"), 300},
                                                {QStringLiteral("10 minutes"), 600}};
        for (const auto &c : cas) {
            entree(mi, c.first)->trigger();
            QCOMPARE(lireTimer(), c.second);
            QCOMPARE(rotatorDe(p)->intervalleMs(), c.second * 1000);
            QVERIFY(!rotatorDe(p)->estActif());
        }
    }

    void lIntervallePersonnalise_data()
    {
        QTest::addColumn<QString>("saisie");
        QTest::addColumn<bool>("parEchap");
        QTest::addColumn<int>("attendu");
        QTest::newRow("45 par OK") << QStringLiteral("45") << false << 45;
        QTest::newRow("45 par Échap") << QStringLiteral("45") << true << 45;
        QTest::newRow("plus grand qui tienne") << QStringLiteral("2147483") << false << 2147483;
        QTest::newRow("vide") << QString() << false << 200;
        QTest::newRow("lettres") << QStringLiteral("abc") << false << 200;
        QTest::newRow("décimal") << QStringLiteral("1.5") << false << 200;
        QTest::newRow("zéro") << QStringLiteral("0") << false << 200;
        QTest::newRow("négatif") << QStringLiteral("-10") << true << 200;
        QTest::newRow("trop grand") << QStringLiteral("99999999999") << false << 200;
        QTest::newRow("déborde en millisecondes") << QStringLiteral("2147484") << false << 200;
    }
    void lIntervallePersonnalise()
    {
        QFETCH(QString, saisie);
        QFETCH(bool, parEchap);
        QFETCH(int, attendu);
        ecrireIni("[Options]\ntimer=200\n");
        Papirol2 p;
        QAction *perso
            = entree(sousMenu(menuDe(p), QStringLiteral("Intervalle")), QStringLiteral("Personnalisé"));
        const int avant = rotatorDe(p)->intervalleMs();
        QString ouvertAvec;
        quandDialogue("IntervallePerso", [&](QWidget *d) {
            auto *ligne = d->findChild<QLineEdit *>(QStringLiteral("intervalle"));
            ouvertAvec = ligne->text();
            ligne->setText(saisie);
            if (parEchap)
                QTest::keyClick(d, Qt::Key_Escape);
            else
                QTest::keyClick(ligne, Qt::Key_Return);
        });
        perso->trigger();
        QCOMPARE(ouvertAvec, QStringLiteral("200"));
        QCOMPARE(lireTimer(), attendu);
        QCOMPARE(perso->property("timer").toInt(), attendu);
        QCOMPARE(rotatorDe(p)->intervalleMs(), attendu == 200 ? avant : attendu * 1000);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void laDispositionVaAuBureauSansChangerLImage()
    {
        Papirol2 p;
        QMenu *mp = sousMenu(menuDe(p), QStringLiteral("Position"));
        entree(mp, QStringLiteral("Ajuster"))->trigger();
        QCOMPARE(enregistreur->position, 4);
        entree(mp, QStringLiteral("Centrer"))->trigger();
        QCOMPARE(enregistreur->position, 1);
        QVERIFY(enregistreur->appliques.isEmpty());
        QVERIFY(!QFile::exists(travail->ini()));
    }

    void ajouterUnEmplacement()
    {
        const QString a = dossierImages(QStringLiteral("a"), 2);
        Papirol2 p;
        ajouter(p, QString());
        QCOMPARE(p.emplacements->rowCount(), 0);
        QVERIFY(!QFile::exists(travail->ini()));

        ajouter(p, a, QString(), true);
        QCOMPARE(p.emplacements->rowCount(), 1);
        QCOMPARE(lireChemin(0), a);
        QCOMPARE(lireFiltre(0), QStringLiteral("*.jpg"));
        QCOMPARE(lireSelection(0), false);
        QVERIFY(supprimer(p)->isEnabled());
        QMenu *me = sousMenu(menuDe(p), QStringLiteral("Emplacements"));
        QCOMPARE(me->actions().first()->text(), QStringLiteral("*.jpg dans ") + a);
        QVERIFY(!me->actions().first()->isChecked());

        const QByteArray avant = contenuIni();
        ajouter(p, a, QStringLiteral("*.jpg"));
        QCOMPARE(p.emplacements->rowCount(), 1);
        QCOMPARE(contenuIni(), avant);

        ajouter(p, a, QStringLiteral("*.png"));
        QCOMPARE(p.emplacements->rowCount(), 2);
        QCOMPARE(lireFiltre(1), QStringLiteral("*.png"));
        QCOMPARE(lireSelection(1), false);
        // A new location starts unselected: no picture of it is drawn, nothing is shown.
        QCOMPARE(rotatorDe(p)->candidats().size(), 0);
        QVERIFY(enregistreur->appliques.isEmpty());
    }

    void supprimerRenumeroteSansTrou()
    {
        QByteArray ini;
        const QStringList dossiers
            = {dossierImages(QStringLiteral("a"), 2), dossierImages(QStringLiteral("b"), 2),
               dossierImages(QStringLiteral("c"), 2)};
        for (int i = 0; i < 3; ++i)
            ini += QStringLiteral("[Emplacement_%1]\npath=%2\nfiltre=*.jpg\nselected=%3\n")
                       .arg(i)
                       .arg(dossiers[i], i == 1 ? QStringLiteral("false") : QStringLiteral("true"))
                       .toUtf8();
        ecrireIni(ini);
        Papirol2 p;
        QCOMPARE(rotatorDe(p)->candidats().size(), 4);
        supprimerLigne(p, 1);
        ouvrirConfiguration();
        QCOMPARE(lireChemin(0), dossiers[0]);
        QCOMPARE(lireSelection(0), true);
        QCOMPARE(lireChemin(1), dossiers[2]);
        QCOMPARE(lireSelection(1), true);
        QVERIFY(!contenuIni().contains("Emplacement_2"));
        QCOMPARE(sousMenu(menuDe(p), QStringLiteral("Emplacements"))->actions().size(), 4);

        // A removed selected folder leaves the rotation at once.
        supprimerLigne(p, 1);
        QCOMPARE(rotatorDe(p)->candidats().size(), 2);
        for (const QString &c : rotatorDe(p)->candidats())
            QVERIFY(c.startsWith(dossiers[0]));
        supprimerLigne(p, 0);
        QVERIFY(!contenuIni().contains("Emplacement_"));
        QVERIFY(!supprimer(p)->isEnabled());
        QCOMPARE(rotatorDe(p)->candidats().size(), 0);
        ajouter(p, dossiers[1]);
        QVERIFY(supprimer(p)->isEnabled());
    }

    void supprimerSansLigneCouranteNeRetireRien()
    {
        Papirol2 p;
        QVERIFY(supprimer(p)->isEnabled());
        supprimerLigne(p, -1);
        QVERIFY(!supprimer(p)->isEnabled());
        QVERIFY(!QFile::exists(travail->ini()));

        const QString a = dossierImages(QStringLiteral("a"), 2);
        ecrireIni(QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(a).toUtf8());
        Papirol2 q;
        const QByteArray avant = contenuIni();
        supprimerLigne(q, -1);
        QCOMPARE(q.emplacements->rowCount(), 1);
        QCOMPARE(contenuIni(), avant);
        QVERIFY(supprimer(q)->isEnabled());
    }

    void chaqueReconstructionDuMenuChangeLImageQuandLaRotationTourne()
    {
        const QString a = dossierImages(QStringLiteral("a"), 3);
        ecrireIni(QStringLiteral("[Options]\nactive=true\ntimer=600\n"
                                 "[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n")
                      .arg(a)
                      .toUtf8());
        Papirol2 p;
        QCOMPARE(enregistreur->appliques.size(), 1);
        ajouter(p, a, QStringLiteral("*.png"));
        QCOMPARE(enregistreur->appliques.size(), 2);
        supprimerLigne(p, 1);
        QCOMPARE(enregistreur->appliques.size(), 3);
        QVERIFY(rotatorDe(p)->estActif());
    }

    void seulUnClicSimpleSurLIconeChange_data()
    {
        QTest::addColumn<int>("raison");
        QTest::addColumn<int>("changements");
        QTest::newRow("clic") << int(QSystemTrayIcon::Trigger) << 1;
        QTest::newRow("double clic") << int(QSystemTrayIcon::DoubleClick) << 0;
        QTest::newRow("clic du milieu") << int(QSystemTrayIcon::MiddleClick) << 0;
        QTest::newRow("menu") << int(QSystemTrayIcon::Context) << 0;
    }
    void seulUnClicSimpleSurLIconeChange()
    {
        QFETCH(int, raison);
        QFETCH(int, changements);
        const QString a = dossierImages(QStringLiteral("a"), 4);
        ecrireIni(QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(a).toUtf8());
        Papirol2 p;
        auto *icone = p.findChild<QSystemTrayIcon *>();
        QVERIFY(icone);
        emit icone->activated(QSystemTrayIcon::ActivationReason(raison));
        QCOMPARE(enregistreur->appliques.size(), changements);
    }
};

QTEST_MAIN(TestPapirol2)
#include "papirol2.moc"
