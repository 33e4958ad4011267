#include "rotation/rotator.h"
#include "commun.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

#include <memory>

namespace {
void toucher(const QString &chemin)
{
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
}
} // namespace

class TestRotator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;

    QString dossierAvec(const QString &nom, const QStringList &fichiers)
    {
        const QString dossier = travail->chemin(nom);
        QDir().mkpath(dossier);
        for (const QString &f : fichiers)
            toucher(dossier + QLatin1Char('/') + f);
        return dossier;
    }
    QStringList images(int n)
    {
        QStringList noms;
        for (int i = 0; i < n; ++i)
            noms << QStringLiteral("img%1.jpg").arg(i);
        return noms;
    }

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

    void chaqueCycleMontreChaqueCandidatUneFois_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {2, 3, 17, 250})
            QTest::addRow("%d", n) << n;
    }
    void chaqueCycleMontreChaqueCandidatUneFois()
    {
        QFETCH(int, n);
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossierAvec(QStringLiteral("d"), images(n)), QStringLiteral("*.jpg"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        QCOMPARE(rotator.candidats().size(), n);
        const QSet<QString> tous(rotator.candidats().cbegin(), rotator.candidats().cend());
        for (int cycle = 0; cycle < 4; ++cycle) {
            enregistreur->appliques.clear();
            // Stopping and starting in mid-cycle must not reset what was drawn.
            rotator.demarrer();
            for (int i = 1; i < n; ++i) {
                if (i == n / 2) {
                    rotator.arreter();
                    rotator.demarrer();
                } else {
                    rotator.changerWallpaper();
                }
            }
            rotator.arreter();
            QCOMPARE(enregistreur->appliques.size(), n);
            QCOMPARE(QSet<QString>(enregistreur->appliques.cbegin(), enregistreur->appliques.cend()), tous);
            QCOMPARE(rotator.restants(), 0);
        }
    }

    void unRechargementRemetToutEnJeu()
    {
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossierAvec(QStringLiteral("d"), images(5)), QStringLiteral("*.jpg"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        rotator.changerWallpaper();
        rotator.changerWallpaper();
        QCOMPARE(rotator.restants(), 3);
        rotator.chargerFichiers(&modele);
        QCOMPARE(rotator.restants(), 5);
        enregistreur->appliques.clear();
        for (int i = 0; i < 5; ++i)
            rotator.changerWallpaper();
        QCOMPARE(QSet<QString>(enregistreur->appliques.cbegin(), enregistreur->appliques.cend()).size(), 5);
    }

    void moinsDeDeuxCandidatsNeChangentRien_data()
    {
        QTest::addColumn<QStringList>("fichiers");
        QTest::newRow("aucun") << QStringList();
        QTest::newRow("un") << QStringList {QStringLiteral("seul.jpg")};
        QTest::newRow("un et d'autres motifs")
            << QStringList {QStringLiteral("seul.jpg"), QStringLiteral("a.png")};
    }
    void moinsDeDeuxCandidatsNeChangentRien()
    {
        QFETCH(QStringList, fichiers);
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossierAvec(QStringLiteral("d"), fichiers), QStringLiteral("*.jpg"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        rotator.changerWallpaper();
        rotator.demarrer();
        QVERIFY(enregistreur->appliques.isEmpty());
        QVERIFY(rotator.estActif());
    }

    void quiEstCandidat_data()
    {
        QTest::addColumn<QStringList>("fichiers");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<QStringList>("attendus");
        QTest::newRow("casse de l'extension")
            << QStringList {QStringLiteral("a.jpg"), QStringLiteral("B.JPG"), QStringLiteral("c.png")}
            << QStringLiteral("*.jpg") << QStringList {QStringLiteral("a.jpg"), QStringLiteral("B.JPG")};
        QTest::newRow("un seul motif, séparateur compris")
            << QStringList {QStringLiteral("a.jpg"), QStringLiteral("b.png"), QStringLiteral("x.jpg;y.png")}
            << QStringLiteral("*.jpg;*.png") << QStringList {QStringLiteral("x.jpg;y.png")};
        QTest::newRow("noms hostiles")
            << QStringList {QStringLiteral("a b.jpg"),  QStringLiteral("\"q'.jpg"),
                            QStringLiteral("l\nn.jpg"), QStringLiteral("%20#.jpg"),
                            QStringLiteral("été.jpg"),  QStringLiteral("a\\b.jpg")}
            << QStringLiteral("*.jpg")
            << QStringList {QStringLiteral("a b.jpg"),  QStringLiteral("\"q'.jpg"),
                            QStringLiteral("l\nn.jpg"), QStringLiteral("%20#.jpg"),
                            QStringLiteral("été.jpg"),  QStringLiteral("a\\b.jpg")};
        QTest::newRow("fichiers cachés exclus")
            << QStringList {QStringLiteral(".cache.jpg"), QStringLiteral("vu.jpg"),
                            QStringLiteral("aussi.jpg")}
            << QStringLiteral("*.jpg") << QStringList {QStringLiteral("vu.jpg"), QStringLiteral("aussi.jpg")};
    }
    void quiEstCandidat()
    {
        QFETCH(QStringList, fichiers);
        QFETCH(QString, filtre);
        QFETCH(QStringList, attendus);
        const QString dossier = dossierAvec(QStringLiteral("d"), fichiers);
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossier, filtre);
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        QStringList obtenus;
        for (const QString &c : rotator.candidats())
            obtenus << c.mid(dossier.size() + 1);
        obtenus.sort();
        attendus.sort();
        QCOMPARE(obtenus, attendus);
        // On Linux the path reaches the desktop as listed: a backslash is part of a name.
        for (int i = 0; i < attendus.size(); ++i)
            rotator.changerWallpaper();
        for (const QString &applique : qAsConst(enregistreur->appliques))
            QVERIFY2(QFile::exists(applique), qPrintable(applique));
    }

    void lesDossiersAEviter()
    {
        const QString dossier = dossierAvec(QStringLiteral("d"), images(2));
        QDir(dossier).mkdir(QStringLiteral("sous-dossier.jpg"));
        QFile::link(dossier + QStringLiteral("/boucle.jpg"), dossier + QStringLiteral("/boucle.jpg"));
        QFile::link(dossier + QStringLiteral("/absent"), dossier + QStringLiteral("/casse.jpg"));
        QFile::link(dossier + QStringLiteral("/img0.jpg"), dossier + QStringLiteral("/lien.jpg"));
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossier, QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(travail->chemin(QStringLiteral("absent")), QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(travail->chemin(QStringLiteral("d/img0.jpg")), QStringLiteral("*"));
        for (int i = 0; i < 3; ++i)
            modele.setSelectionne(i, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        QStringList noms;
        for (const QString &c : rotator.candidats())
            noms << c.section(QLatin1Char('/'), -1);
        noms.sort();
        QCOMPARE(noms,
                 (QStringList {QStringLiteral("img0.jpg"), QStringLiteral("img1.jpg"),
                               QStringLiteral("lien.jpg")}));
    }

    void lesEmplacementsNonSelectionnesEtLesDoublons()
    {
        const QString a = dossierAvec(QStringLiteral("a"), images(3));
        const QString b = dossierAvec(QStringLiteral("b"), images(4));
        ListeEmplacements modele;
        modele.ajouterEmplacement(a, QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(b, QStringLiteral("*.jpg"));
        modele.ajouterEmplacement(a, QStringLiteral("img*"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        QCOMPARE(rotator.candidats().size(), 3);
        modele.setSelectionne(2, true);
        rotator.chargerFichiers(&modele);
        QCOMPARE(rotator.candidats().size(), 6);
        modele.setSelectionne(1, true);
        rotator.chargerFichiers(&modele);
        QCOMPARE(rotator.candidats().size(), 10);
    }

    void lIntervalleEstBorneMaisStockeTelQuel_data()
    {
        QTest::addColumn<int>("secondes");
        QTest::addColumn<int>("ms");
        QTest::newRow("30") << 30 << 30000;
        QTest::newRow("0") << 0 << 1000;
        QTest::newRow("-10") << -10 << 1000;
        QTest::newRow("plus grand qui tienne") << 2147483 << 2147483000;
        QTest::newRow("débordement") << 2147484 << 2147483000;
        QTest::newRow("int max") << std::numeric_limits<int>::max() << 2147483000;
        QTest::newRow("int min") << std::numeric_limits<int>::min() << 1000;
    }
    void lIntervalleEstBorneMaisStockeTelQuel()
    {
        QFETCH(int, secondes);
        QFETCH(int, ms);
        Rotator rotator;
        rotator.changerIntervalle(secondes);
        QCOMPARE(rotator.intervalleMs(), ms);
        QCOMPARE(lireTimer(), secondes);
        QVERIFY(!rotator.estActif());
        rotator.demarrer();
        QCOMPARE(rotator.intervalleMs(), ms);
        QVERIFY(rotator.estActif());
    }

    void demarrerChangeAussitotPuisTicTac()
    {
        enregistrerTimer(1);
        ListeEmplacements modele;
        modele.ajouterEmplacement(dossierAvec(QStringLiteral("d"), images(3)), QStringLiteral("*.jpg"));
        modele.setSelectionne(0, true);
        Rotator rotator;
        rotator.chargerFichiers(&modele);
        rotator.demarrer();
        QCOMPARE(enregistreur->appliques.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(enregistreur->appliques.size(), 2, 5000);
        rotator.arreter();
        QTest::qWait(1500);
        QCOMPARE(enregistreur->appliques.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRotator)
#include "rotator.moc"
