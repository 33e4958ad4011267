#include "settings/configuration.h"
#include "commun.h"
#include "locations/listeemplacements.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <memory>

class TestConfiguration : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DossierDeTravail> travail;

    // The rows as "path|path|...", "*" after a selected one.
    static QString rangees(const ListeEmplacements &modele)
    {
        QStringList r;
        for (int i = 0; i < modele.rowCount(); ++i)
            r << modele.cheminEmplacement(i) + QLatin1String(modele.estSelectionne(i) ? "*" : "");
        return r.join(QLatin1Char('|'));
    }

private slots:
    void init()
    {
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
    }
    void cleanup() { travail.reset(); }

    // Each write is on disk at once; a file deleted meanwhile gets back all that the program holds, where it
    // was opened whatever the working folder is now.
    void chaqueEcritureEstSurLeDisqueAussitot()
    {
        const auto relu = [&](const char *cle) {
            return QSettings(travail->ini(), QSettings::IniFormat).value(QLatin1String(cle)).toString();
        };
        enregistrerTimer(45);
        enregistrerEmplacement(12, QStringLiteral("/images"), QStringLiteral("*.jpg"), true);
        QCOMPARE(relu("Emplacement_12/selected"), QStringLiteral("true"));
        enregistrerEmplacement(13, QStringLiteral("/autre"), QStringLiteral("*.png"), false);
        supprimerEmplacementConfig(12);
        QVERIFY(!travail->contenuIni().contains("Emplacement_12"));
        QVERIFY(QFile::remove(travail->ini()));
        DossierDeTravail ailleurs;
        enregistrerActif(true);
        QVERIFY(!QFile::exists(ailleurs.ini()));
        QCOMPARE(relu("Options/timer") + relu("Options/active") + relu("Emplacement_13/path"),
                 QStringLiteral("45true/autre"));
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
        QTest::newRow("demi-paire seule") << QStringLiteral("/photos") + QChar(0xdc80) + QChar(0xfffe)
                                          << QString(QChar(0xd800)) + QLatin1Char('a');
        QTest::newRow("U+FEFF en tête") << QStringLiteral("\uFEFF\uFEFFx") << QStringLiteral("\uFEFF");
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
        // An interval never chosen, or not one the timer can take, is 5 minutes.
        QTest::newRow("sans fichier") << QString() << false << 300;
        QTest::newRow("1") << "active=1\ntimer=45" << true << 45;
        QTest::newRow("0") << "active=0\ntimer=0" << false << 300;
        QTest::newRow("casse, trop grand") << "active=FALSE\ntimer=2147484" << false << 300;
        QTest::newRow("non numérique") << "active=oui\ntimer=abc" << true << 300;
    }
    void valeursEditeesALaMain()
    {
        QFETCH(QString, options);
        QFETCH(bool, actif);
        QFETCH(int, timer);
        if (!options.isNull())
            QVERIFY(travail->ecrireIni("[Options]\n" + options.toUtf8()));
        QCOMPARE(lireActif(), actif);
        QCOMPARE(lireTimer(), timer);
        // Reading alone never creates the file.
        QCOMPARE(QFile::exists(travail->ini()), !options.isNull());
    }

    // The file as it is, or (lien) a symbolic link to it; the rows after a start, which leaves the file as it
    // was; the start of the file that adding a location leaves as it was, or (null) the file is not settings
    // and is never written.
    void chargerLesEmplacements_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<bool>("lien");
        QTest::addColumn<QString>("lignes");
        QTest::addColumn<QByteArray>("intact");
        const QByteArray rien(""),
            trou("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=true\n\n"
                 "[Emplacement_1]\npath=/b\nfiltre=*.png\nselected=0\n\n");
        QTest::newRow("trou, groupe sans chemin, lignes vides") << trou
                + "[Emplacement_2]\nfiltre=*.jpg\n[Emplacement_12]\npath=/d\nselected=1\n"
                  "[Emplacement_5]\npath=/c\nfiltre=*.jpg\nselected=false\n"
                                                                << false << "/a*|/b|/c|/d*" << trou;
        QTest::newRow("numérotés depuis 1")
            << QByteArray("[Emplacement_1]\npath=/a\nselected=1\n[Emplacement_2]\npath=/b\n") << false
            << "/a*|/b" << rien;
        const QByteArray doublon("[Emplacement_0]\npath=/a\nfiltre=*.jpg\n");
        QTest::newRow("un doublon garde la sélection") << doublon
                + "selected=false\n[Emplacement_1]\npath=/a\nfiltre=*.jpg\nselected=1\n"
                  "[Emplacement_2]\npath=/c\nselected=true\n"
                                                       << false << "/a*|/c*" << doublon;
        // QSettings reads an unquoted comma as a list; it is one path as written.
        const QByteArray virgule(
            "[Emplacement_0]\npath=/photos, 2019 \nselected=1\n[Emplacement_1]\npath=/b,c\n");
        QTest::newRow("virgule sans guillemets") << virgule << false << "/photos, 2019*|/b,c" << virgule;
        const QByteArray crlf("; notes\r\n[Options]\r\nactive=1\r\n\r\n[Emplacement_0]\r\npath = /a \r\n"
                              "filtre=*.jpg\r\nselected=true\r\n[Options]\r\ntimer=60\r\n");
        QTest::newRow("commentaire, CRLF, groupe répété") << crlf << false << "/a*" << crlf;
        const QByteArray cr("[Options]\rtimer=45\r[Emplacement_0]\rpath=/a\r");
        QTest::newRow("CR seuls") << cr << false << "/a" << cr.left(19);
        QTest::newRow("un CR") << QByteArray("\r") << false << "" << QByteArray("\r");
        const QByteArray crFinal("[Options]\ntimer=60\r");
        QTest::newRow("CR final") << crFinal << false << "" << crFinal;
        const QByteArray bom("\xEF\xBB\xBF[Options]\nactive=true\n[Emplacement_0]\npath=/b\n");
        QTest::newRow("BOM") << bom << false << "/b" << bom;
        const QByteArray hexa("[Emplacement_0]\npath=/caf\\xe9\\x20\n");
        QTest::newRow("échappements \\xNN") << hexa << false << QStringLiteral("/café ") << hexa;
        QTest::newRow("Latin-1") << QByteArray("[Emplacement_1]\npath=/a\n[Emplacement_2]\npath=/caf\xe9\n"
                                               "filtre=*.jp\xe9\n[Emplacement_3]\npath=/c\n")
                                 << false << QStringLiteral("/a|/café|/c") << rien;
        const QByteArray reglages("[Emplacement_0]\npath=/a\n");
        QTest::newRow("lien vers des réglages") << reglages << true << "/a" << reglages;
        // Nothing of a file that is not settings is read.
        const QByteArray passwd("root:x:0:0:root:/root:/bin/bash\n[Emplacement_0]\npath=/a\n");
        QTest::newRow("lien vers une copie de /etc/passwd") << passwd << true << "" << QByteArray();
        QByteArray dechets;
        for (int i = 0; i < 4096; ++i)
            dechets.append(char((i * 7919) % 256));
        QTest::newRow("octets au hasard") << dechets << false << "" << QByteArray();
        const QByteArray section("[Options\nactive=true\n[Emplacement_0]\npath=/a\n");
        QTest::newRow("section mal fermée") << section << false << "" << QByteArray();
        QTest::newRow("ligne sans fin") << QByteArray(3 << 20, 'a') << false << "" << QByteArray();
    }
    void chargerLesEmplacements()
    {
        QFETCH(QByteArray, texte);
        QFETCH(bool, lien);
        QFETCH(QString, lignes);
        QFETCH(QByteArray, intact);
#ifdef Q_OS_WIN
        if (lien)
            QSKIP("no symbolic links");
#endif
        QVERIFY(!lien || QFile::link(travail->chemin(QStringLiteral("cible")), travail->ini()));
        QVERIFY(travail->ecrireIni(texte));
        ListeEmplacements modele;
        modele.charger();
        const int timer = lireTimer();
        QCOMPARE(rangees(modele), lignes);
        if (lireActif())
            enregistrerActif(true);
        QCOMPARE(travail->contenuIni(), texte);

        modele.ajouterEmplacement(QStringLiteral("/n"), QStringLiteral("*.png"));
        enregistrerActif(true);
        QCOMPARE(QFileInfo(travail->ini()).isSymLink(), lien);
        if (intact.isNull()) {
            QCOMPARE(travail->contenuIni(), texte);
            return;
        }
        QVERIFY(travail->contenuIni().startsWith(intact));
        // Renumbered from 0, with the values the file held.
        ouvrirConfiguration();
        ListeEmplacements relue;
        relue.charger();
        QCOMPARE(rangees(relue), QString(lignes + QLatin1String(lignes.isEmpty() ? "/n" : "|/n")));
        QCOMPARE(lireNumerosEmplacements().size(), relue.rowCount());
        QCOMPARE(lireNumerosEmplacements().last(), relue.rowCount() - 1);
        QCOMPARE(lireActif(), true);
        QCOMPARE(lireTimer(), timer);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "configuration.moc"
