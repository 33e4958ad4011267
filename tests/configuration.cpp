#include "settings/configuration.h"
#include "commun.h"
#include "locations/listeemplacements.h"

#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>

class TestConfiguration : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DossierDeTravail> travail;

    QByteArray contenu() const
    {
        QFile f(travail->ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void ecrireIni(const QByteArray &texte)
    {
        QFile f(travail->ini());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(texte);
        f.close();
        ouvrirConfiguration();
    }

private slots:
    void init()
    {
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
    }
    void cleanup() { travail.reset(); }

    void sansFichierLesValeursParDefaut()
    {
        QCOMPARE(lireActif(), false);
        QCOMPARE(lireTimer(), 0);
        QCOMPARE(lireChemin(0), QString());
        QCOMPARE(lireFiltre(0), QString());
        QCOMPARE(lireSelection(0), false);
        QVERIFY(!QFile::exists(travail->ini()));
    }

    void chaqueEcritureEstSurLeDisqueAussitot()
    {
        enregistrerTimer(300);
        QVERIFY(contenu().contains("[Options]\ntimer=300"));
        enregistrerActif(true);
        QVERIFY(contenu().contains("active=true"));
        enregistrerEmplacement(12, QStringLiteral("/images/été"), QStringLiteral("*.jpg"), false);
        const QByteArray texte = contenu();
        QVERIFY(texte.contains("[Emplacement_12]"));
        QVERIFY(texte.contains("filtre=*.jpg"));
        QVERIFY(texte.contains("selected=false"));
        QCOMPARE(lireChemin(12), QStringLiteral("/images/été"));
    }

    void lesValeursSurviventAUneReouverture_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("filtre");
        QTest::newRow("simple") << QStringLiteral("/home/u/Images") << QStringLiteral("*.jpg");
        QTest::newRow("espaces et guillemets")
            << QStringLiteral("/a b/\"c\" 'd'") << QStringLiteral("* x.png");
        QTest::newRow("pour-cent, dièse, point-virgule")
            << QStringLiteral("/p%20#q;r=s") << QStringLiteral("#;*.jpg");
        QTest::newRow("saut de ligne") << QStringLiteral("/a\nb") << QStringLiteral("*\n.jpg");
        QTest::newRow("non ASCII") << QStringLiteral("/Фото/日本/ç") << QStringLiteral("*.jpég");
        QTest::newRow("barre oblique inverse") << QStringLiteral("/a\\b") << QStringLiteral("\\*.jpg");
        QTest::newRow("crochets") << QStringLiteral("/[General]/x") << QStringLiteral("[abc]*");
    }
    void lesValeursSurviventAUneReouverture()
    {
        QFETCH(QString, chemin);
        QFETCH(QString, filtre);
        enregistrerEmplacement(0, chemin, filtre, true);
        enregistrerEmplacement(1, QStringLiteral("/suivant"), QStringLiteral("*.jpg"), false);
        ouvrirConfiguration();
        QCOMPARE(lireChemin(0), chemin);
        QCOMPARE(lireFiltre(0), filtre);
        QCOMPARE(lireSelection(0), true);
        QCOMPARE(lireChemin(1), QStringLiteral("/suivant"));
    }

    void supprimerNeToucheQueSonGroupe()
    {
        for (int n = 0; n < 4; ++n)
            enregistrerEmplacement(n, QStringLiteral("/d%1").arg(n), QStringLiteral("*.jpg"), n % 2);
        enregistrerTimer(60);
        supprimerEmplacementConfig(2);
        ouvrirConfiguration();
        QCOMPARE(lireChemin(2), QString());
        QCOMPARE(lireChemin(1), QStringLiteral("/d1"));
        QCOMPARE(lireChemin(3), QStringLiteral("/d3"));
        QCOMPARE(lireSelection(3), true);
        QCOMPARE(lireTimer(), 60);
        QVERIFY(!contenu().contains("Emplacement_2"));
    }

    void valeursEditeesALaMain_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<bool>("actif");
        QTest::addColumn<int>("timer");
        QTest::addColumn<bool>("selection");
        QTest::newRow("1 et 0") << QByteArray(
            "[Options]\nactive=1\ntimer=45\n[Emplacement_0]\npath=/a\nselected=1\n")
                                << true << 45 << true;
        QTest::newRow("false, 0") << QByteArray(
            "[Options]\nactive=false\n[Emplacement_0]\npath=/a\nselected=0\n")
                                  << false << 0 << false;
        QTest::newRow("casse") << QByteArray(
            "[Options]\nactive=TRUE\n[Emplacement_0]\npath=/a\nselected=FALSE\n")
                               << true << 0 << false;
        QTest::newRow("intervalle non numérique")
            << QByteArray("[Options]\ntimer=abc\n[Emplacement_0]\npath=/a\nselected=oui\n") << false << 0
            << true;
        QTest::newRow("intervalle négatif") << QByteArray("[Options]\ntimer=-10\n") << false << -10 << false;
    }
    void valeursEditeesALaMain()
    {
        QFETCH(QByteArray, texte);
        QFETCH(bool, actif);
        QFETCH(int, timer);
        QFETCH(bool, selection);
        ecrireIni(texte);
        QCOMPARE(lireActif(), actif);
        QCOMPARE(lireTimer(), timer);
        QCOMPARE(lireSelection(0), selection);
    }

    void unFichierIllisibleEstGardeDeCote_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QByteArray dechets;
        for (int i = 0; i < 4096; ++i)
            dechets.append(char((i * 7919) % 256));
        QTest::newRow("octets au hasard") << dechets;
        QTest::newRow("section mal fermée") << QByteArray("[Options\nactive=true\n\x00\x01", 23);
    }
    void unFichierIllisibleEstGardeDeCote()
    {
        QFETCH(QByteArray, texte);
        ecrireIni(texte);
        // Reading must not crash, and the first write, which replaces the file, must not lose what it held.
        lireActif();
        lireTimer();
        lireChemin(0);
        enregistrerTimer(30);
        QCOMPARE(lireTimer(), 30);
        QSettings relu(travail->ini(), QSettings::IniFormat);
        QCOMPARE(relu.value(QStringLiteral("Options/timer")).toInt(), 30);
        QFile copie(travail->ini() + QStringLiteral(".illisible"));
        QVERIFY(copie.open(QIODevice::ReadOnly));
        QCOMPARE(copie.readAll(), texte);
    }

    void unFichierLisibleNEstPasCopie()
    {
        ecrireIni("[Options]\ntimer=45\n");
        enregistrerTimer(30);
        QVERIFY(!QFile::exists(travail->ini() + QStringLiteral(".illisible")));
    }

    void leFichierNeSuitPasUnChangementDeDossier()
    {
        enregistrerTimer(30);
        DossierDeTravail ailleurs;
        enregistrerTimer(60);
        QVERIFY(!QFile::exists(ailleurs.ini()));
        QVERIFY(contenu().contains("timer=60"));
    }

    void chargementSArreteAuPremierTrou()
    {
        ecrireIni("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                  "[Emplacement_1]\npath=/b\nfiltre=*.png\nselected=false\n"
                  "[Emplacement_3]\npath=/d\nfiltre=*.jpg\nselected=true\n");
        ListeEmplacements modele;
        modele.charger();
        QCOMPARE(modele.rowCount(), 2);
        QCOMPARE(modele.cheminEmplacement(1), QStringLiteral("/b"));
        QCOMPARE(modele.estSelectionne(0), true);
        QCOMPARE(modele.estSelectionne(1), false);
        QCOMPARE(lireChemin(3), QStringLiteral("/d"));
    }

    void unDoublonEditeALaMainEstReconcilie()
    {
        ecrireIni("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=false\n"
                  "[Emplacement_1]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                  "[Emplacement_2]\npath=/c\nfiltre=*.jpg\nselected=true\n");
        ListeEmplacements modele;
        modele.charger();
        QCOMPARE(modele.rowCount(), 2);
        QCOMPARE(modele.estSelectionne(0), false);
        QCOMPARE(modele.cheminEmplacement(1), QStringLiteral("/c"));
        QCOMPARE(modele.estSelectionne(1), true);
        ouvrirConfiguration();
        QCOMPARE(lireChemin(1), QStringLiteral("/c"));
        QCOMPARE(lireSelection(1), true);
        QCOMPARE(lireChemin(2), QString());
    }

    void laPositionPasseParLeBureau_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("lue");
        for (int p = 1; p <= 5; ++p)
            QTest::addRow("%d", p) << p << p;
        QTest::newRow("0") << 0 << 3;
        QTest::newRow("6") << 6 << 3;
        QTest::newRow("-1") << -1 << 3;
    }
    void laPositionPasseParLeBureau()
    {
        QFETCH(int, position);
        QFETCH(int, lue);
        auto enregistreur = std::make_unique<BureauEnregistreur>();
        BureauEnregistreur *b = enregistreur.get();
        installerBureau(std::move(enregistreur));
        b->position = 3;
        enregistrerPosition(position);
        QCOMPARE(lirePosition(), lue);
        QVERIFY(!QFile::exists(travail->ini()));
        b->position = 42;
        QCOMPARE(lirePosition(), 0);
        installerBureau(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "configuration.moc"
