#include "settings/configuration.h"
#include "commun.h"
#include "locations/listeemplacements.h"

#include <QFile>
#include <QTest>

#include <memory>

class TestConfiguration : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DossierDeTravail> travail;

    QByteArray contenu(const QString &suffixe = QString()) const
    {
        QFile f(travail->ini() + suffixe);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void ecrireIni(const QByteArray &texte)
    {
        QFile f(travail->ini());
        QVERIFY(f.open(QIODevice::WriteOnly));
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

    void chaqueEcritureEstSurLeDisqueAussitot()
    {
        enregistrerTimer(300);
        QVERIFY(contenu().contains("timer=300"));
        enregistrerActif(true);
        QVERIFY(contenu().contains("active=true"));
        enregistrerEmplacement(12, QStringLiteral("/images"), QStringLiteral("*.jpg"), false);
        QVERIFY(contenu().contains("[Emplacement_12]\nfiltre=*.jpg\npath=/images\nselected=false"));
        // Removing a group touches nothing else.
        enregistrerEmplacement(13, QStringLiteral("/autre"), QStringLiteral("*.png"), true);
        supprimerEmplacementConfig(12);
        QVERIFY(!contenu().contains("Emplacement_12"));
        QVERIFY(contenu().contains("[Emplacement_13]\nfiltre=*.png\npath=/autre\nselected=true"));
        // The file stays where it was opened when the working folder changes.
        DossierDeTravail ailleurs;
        enregistrerTimer(60);
        QVERIFY(!QFile::exists(ailleurs.ini()));
        QVERIFY(contenu().contains("timer=60"));
    }

    void lesValeursSurviventAUneReouverture_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("filtre");
        QTest::newRow("espaces et guillemets") << "/a b/\"c\" 'd'" << QStringLiteral("* x.png");
        QTest::newRow("pour-cent, dièse, point-virgule") << "/p%20#q;r=s" << QStringLiteral("#;*.jpg");
        QTest::newRow("saut de ligne") << "/a\nb" << QStringLiteral("*\n.jpg");
        QTest::newRow("non ASCII") << "/Фото/日本/ç" << QStringLiteral("*.jpég");
        QTest::newRow("barre oblique inverse") << "/a\\b" << QStringLiteral("\\*.jpg");
        QTest::newRow("crochets") << "/[General]/x" << QStringLiteral("[abc]*");
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

    void valeursEditeesALaMain_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("actif");
        QTest::addColumn<int>("timer");
        QTest::newRow("sans fichier") << QString() << false << 0;
        QTest::newRow("1") << "active=1\ntimer=45" << true << 45;
        QTest::newRow("0") << "active=0" << false << 0;
        QTest::newRow("casse") << "active=FALSE" << false << 0;
        QTest::newRow("non numérique") << "active=oui\ntimer=abc" << true << 0;
        QTest::newRow("négatif") << "timer=-10" << false << -10;
    }
    void valeursEditeesALaMain()
    {
        QFETCH(QString, options);
        QFETCH(bool, actif);
        QFETCH(int, timer);
        if (!options.isNull())
            ecrireIni("[Options]\n" + options.toUtf8());
        QCOMPARE(lireActif(), actif);
        QCOMPARE(lireTimer(), timer);
        // Reading alone never creates the file.
        QCOMPARE(QFile::exists(travail->ini()), !options.isNull());
    }

    void unFichierIllisibleEstGardeDeCote_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<bool>("garde");
        QByteArray dechets;
        for (int i = 0; i < 4096; ++i)
            dechets.append(char((i * 7919) % 256));
        QTest::newRow("octets au hasard") << dechets << true;
        QTest::newRow("section mal fermée") << QByteArray("[Options\nactive=true\n\x00\x01", 23) << true;
        QTest::newRow("lisible") << QByteArray("[Options]\ntimer=45\n") << false;
    }
    void unFichierIllisibleEstGardeDeCote()
    {
        QFETCH(QByteArray, texte);
        QFETCH(bool, garde);
        ecrireIni(texte);
        lireActif();
        // The first write replaces the whole file: what it held must survive aside.
        enregistrerTimer(30);
        QVERIFY(contenu().contains("timer=30\n"));
        QCOMPARE(contenu(QStringLiteral(".illisible")), garde ? texte : QByteArray());
    }

    void chargerLesEmplacements_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("lignes");
        QTest::addColumn<QString>("groupes");
        // Rows, then groups 0..3 once reread, as "path|path|...", "*" after a selected one.
        QTest::newRow("un trou arrête le chargement")
            << QByteArray("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_1]\npath=/b\nfiltre=*.png\nselected=false\n"
                          "[Emplacement_3]\npath=/d\nfiltre=*.jpg\nselected=true\n")
            << QStringLiteral("/a*|/b") << "/a*|/b||/d*";
        QTest::newRow("un doublon est réconcilié")
            << QByteArray("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=false\n"
                          "[Emplacement_1]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_2]\npath=/c\nfiltre=*.jpg\nselected=true\n")
            << QStringLiteral("/a|/c*") << "/a|/c*||";
    }
    void chargerLesEmplacements()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QString, lignes);
        QFETCH(QString, groupes);
        ecrireIni(texte);
        ListeEmplacements modele;
        modele.charger();
        QStringList obtenues, relus;
        for (int i = 0; i < modele.rowCount(); ++i)
            obtenues << modele.cheminEmplacement(i) + QLatin1String(modele.estSelectionne(i) ? "*" : "");
        QCOMPARE(obtenues.join(QLatin1Char('|')), lignes);
        ouvrirConfiguration();
        for (int n = 0; n < 4; ++n)
            relus << lireChemin(n) + QLatin1String(lireSelection(n) ? "*" : "");
        QCOMPARE(relus.join(QLatin1Char('|')), groupes);
    }

    void laPositionHorsDe1A5NeChangeRien()
    {
        BureauEnregistreur *b = installerEnregistreur();
        enregistrerPosition(5);
        for (int p : {0, 6}) {
            enregistrerPosition(p);
            QCOMPARE(lirePosition(), 5);
        }
        b->position = 42;
        QCOMPARE(lirePosition(), 0);
        installerBureau(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "configuration.moc"
