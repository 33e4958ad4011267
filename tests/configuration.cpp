#include "settings/configuration.h"
#include "commun.h"
#include "commun/chemins.h"
#include "locations/listeemplacements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
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
        QByteArray octets = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        // Qt writes the platform's line ends (CRLF on Windows); a copy kept aside is compared byte for byte.
        return suffixe.isEmpty() ? octets.replace("\r\n", "\n") : octets;
    }
    // Keys come sorted on Linux, in the order written on Windows: each line is looked for on its own.
    bool contientLignes(std::initializer_list<const char *> lignes) const
    {
        const QByteArray texte = '\n' + contenu();
        for (const char *ligne : lignes) {
            if (!texte.contains('\n' + QByteArray(ligne) + '\n'))
                return false;
        }
        return true;
    }

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

    void chaqueEcritureEstSurLeDisqueAussitot()
    {
        enregistrerTimer(300);
        QVERIFY(contenu().contains("timer=300"));
        enregistrerActif(true);
        QVERIFY(contenu().contains("active=true"));
        enregistrerEmplacement(12, QStringLiteral("/images"), QStringLiteral("*.jpg"), false);
        QVERIFY(contientLignes({"[Emplacement_12]", "filtre=*.jpg", "path=/images", "selected=false"}));
        // Removing a group touches nothing else.
        enregistrerEmplacement(13, QStringLiteral("/autre"), QStringLiteral("*.png"), true);
        supprimerEmplacementConfig(12);
        QVERIFY(!contenu().contains("Emplacement_12"));
        QVERIFY(contientLignes({"[Emplacement_13]", "filtre=*.png", "path=/autre", "selected=true"}));
        // A file deleted meanwhile gets back everything the program holds, not only the value written.
        QVERIFY(QFile::remove(travail->ini()));
        enregistrerActif(false);
        QVERIFY(contientLignes(
            {"timer=300", "active=false", "[Emplacement_13]", "path=/autre", "selected=true"}));
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

    // Rows as "path|path|...", "*" after a selected one. A start with nothing to renumber leaves the file
    // byte for byte, else (groupes) groups 0..3 read back so; a value that is not UTF-8 is never read as
    // another one: its location is left out and the file kept aside, as is a file that cannot be read.
    void chargerLesEmplacements_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("lignes");
        QTest::addColumn<QString>("groupes");
        QTest::addColumn<bool>("garde");
        QTest::newRow("trou et groupe sans chemin")
            << QByteArray("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_1]\npath=/b\nfiltre=*.png\nselected=false\n"
                          "[Emplacement_2]\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_12]\npath=/d\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_5]\npath=/c\nfiltre=*.jpg\nselected=false\n")
            << "/a*|/b|/c|/d*"
            << "/a*|/b|/c|/d*" << false;
        QTest::newRow("un doublon est réconcilié")
            << QByteArray("[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=false\n"
                          "[Emplacement_1]\npath=/a\nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_2]\npath=/c\nfiltre=*.jpg\nselected=true\n")
            << "/a|/c*"
            << "/a|/c*||" << false;
        // QSettings reads an unquoted comma as a list; it is one path as written.
        QTest::newRow("virgule sans guillemets")
            << QByteArray("[Emplacement_0]\npath=/photos, 2019 \nfiltre=*.jpg\nselected=true\n"
                          "[Emplacement_1]\npath=/b,c\nfiltre=*.jpg\nselected=false\n")
            << "/photos, 2019*|/b,c"
            << "/photos, 2019*|/b,c||" << false;
        QTest::newRow("commentaire, CRLF, groupe répété")
            << QByteArray("; notes\r\n[Options]\r\nactive=1\r\n\r\n[Emplacement_0]\r\npath = /a \r\n"
                          "filtre=*.jpg\r\nselected=true\r\n[Options]\r\ntimer=60\r\n")
            << "/a*" << QString() << false;
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[Options]\nactive=true\n[Emplacement_0]\npath=/b\n")
                             << "/b" << QString() << false;
        QTest::newRow("échappements \\xNN")
            << QByteArray("[Options]\nactive=true\n[Emplacement_0]\npath=/caf\\xe9\\x20\n")
            << QStringLiteral("/café ") << QString() << false;
        QTest::newRow("Latin-1 dans un chemin")
            << QByteArray("[Options]\nactive=false\n[Emplacement_0]\npath=/caf\xe9\nselected=true\n"
                          "[Emplacement_1]\npath=/b\nfiltre=*.jpg\n")
            << "/b" << QString() << true;
        QByteArray dechets;
        for (int i = 0; i < 4096; ++i)
            dechets.append(char((i * 7919) % 256));
        QTest::newRow("octets au hasard") << dechets << "" << QString() << true;
        QTest::newRow("section mal fermée")
            << QByteArray("[Options\nactive=true\n\x00\x01", 23) << "" << QString() << true;
        QTest::newRow("Latin-1 dans un filtre")
            << QByteArray("[Options]\nactive=false\n[Emplacement_0]\npath=/b\nfiltre=*.jp\xe9\n") << ""
            << QString() << true;
    }
    void chargerLesEmplacements()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QString, lignes);
        QFETCH(QString, groupes);
        QFETCH(bool, garde);
        QVERIFY(travail->ecrireIni(texte));
        ListeEmplacements modele;
        modele.charger();
        enregistrerActif(lireActif());
        QCOMPARE(rangees(modele), lignes);
        QCOMPARE(contenu(QStringLiteral(".illisible")), garde ? texte : QByteArray());
        if (!groupes.isNull()) {
            QStringList relus;
            ouvrirConfiguration();
            for (int n = 0; n < 4; ++n)
                relus << lireChemin(n) + QLatin1String(lireSelection(n) ? "*" : "");
            QCOMPARE(relus.join(QLatin1Char('|')), groupes);
        } else if (garde) {
            // The first write replaced the whole file.
            enregistrerTimer(30);
            QVERIFY(contenu().contains("timer=30\n"));
        } else {
            QCOMPARE(travail->contenuIni(), texte);
            // A write replaces its own line and keeps the others: comments, line ends, a byte-order mark.
            enregistrerTimer(61);
            QVERIFY(travail->contenuIni().startsWith(texte.left(texte.indexOf("active="))));
            QCOMPARE(lireTimer(), 61);
        }
    }

    void leVerrouResteDansUnDossierPrive_data()
    {
        // Permissions of the runtime folder and of an existing cache folder (0: none), where the lock goes.
        QTest::addColumn<int>("execution");
        QTest::addColumn<int>("cache");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("dossier d'exécution") << 0700 << 0 << "run/papirol2";
        QTest::newRow("sans dossier d'exécution") << 0 << 0 << "cache/papirol2";
        QTest::newRow("dossier d'exécution ouvert à tous") << 0777 << 0 << "cache/papirol2";
        QTest::newRow("cache ouvert au groupe") << 0 << 0770 << QString();
    }
    void leVerrouResteDansUnDossierPrive()
    {
#ifdef Q_OS_WIN
        QSKIP("Unix folders and permissions; on Windows the lock is in the user's profile");
#endif
        QFETCH(int, execution);
        QFETCH(int, cache);
        QFETCH(QString, attendu);
        const auto droits = [](int o) {
            return QFile::Permissions((o >> 6 & 7) * 0x1100 | (o >> 3 & 7) << 4 | (o & 7));
        };
        const QByteArray avant[] = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("XDG_CACHE_HOME")};
        const auto retablir = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", avant[0]);
            qputenv("XDG_CACHE_HOME", avant[1]);
        });
        qputenv("XDG_RUNTIME_DIR",
                execution ? travail->chemin(QStringLiteral("run")).toUtf8() : QByteArray());
        qputenv("XDG_CACHE_HOME", travail->chemin(QStringLiteral("cache")).toUtf8());
        const QString dossiers[] = {QStringLiteral("run"), QStringLiteral("cache/papirol2")};
        for (int i : {0, 1}) {
            const int o = i ? cache : execution;
            QVERIFY(!o
                    || (QDir().mkpath(travail->chemin(dossiers[i]))
                        && QFile::setPermissions(travail->chemin(dossiers[i]), droits(o))));
        }
        const QString chemin = cheminVerrou(travail->ini());
        QCOMPARE(chemin.isEmpty() ? QString() : QFileInfo(chemin).path(),
                 attendu.isNull() ? QString() : travail->chemin(attendu));
        if (!chemin.isEmpty())
            QCOMPARE(QFileInfo(QFileInfo(chemin).path()).permissions() & droits(077), QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "configuration.moc"
