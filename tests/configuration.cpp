#include "settings/configuration.h"
#include "commun.h"
#include "locations/listeemplacements.h"

#include <QFile>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

    void lesValeursSurviventAUneReouverture_data()
    {
        QTest::addColumn<QString>("chemin");
        QTest::addColumn<QString>("filtre");
        QTest::newRow("espaces, guillemets, pour-cent, dièse, point-virgule")
            << "/a b/\"c\" 'd'%20#q;r=s" << QStringLiteral("#;* x.png");
        QTest::newRow("saut de ligne") << "/a\nb" << QStringLiteral("*\n.jpg");
        QTest::newRow("non ASCII") << "/Фото/日本/ç" << QStringLiteral("*.jpég");
        QTest::newRow("barre oblique inverse, crochets") << "/[General]/a\\b" << QStringLiteral("\\[abc]*");
        QTest::newRow("demi-paire seule") << QStringLiteral("/photos") + QChar(0xdc80) + QChar(0xfffe)
                                          << QString(QChar(0xd800)) + QLatin1Char('a');
        QTest::newRow("U+FEFF en tête") << QStringLiteral("\uFEFF\uFEFFx") << QStringLiteral("\uFEFF");
    }
    void lesValeursSurviventAUneReouverture()
    {
        QFETCH(QString, chemin);
        QFETCH(QString, filtre);
        // Reading alone never creates the file.
        QVERIFY(!lireActif() && !QFile::exists(travail->ini()));
        enregistrerEmplacement(0, chemin, filtre, true);
        enregistrerEmplacement(1, QStringLiteral("/suivant"), QStringLiteral("*.jpg"), false);
        // A file deleted meanwhile gets back all that the program holds.
        QVERIFY(QFile::remove(travail->ini()));
        enregistrerTimer(45);
        ouvrirConfiguration();
        QCOMPARE(lireChemin(0), chemin);
        QCOMPARE(lireFiltre(0), filtre);
        QVERIFY(lireSelection(0) && lireChemin(1) == QLatin1String("/suivant") && lireTimer() == 45);
    }

    // The file as it is; the rows after a start, which leaves the file as it was; how many bytes at the start
    // of the file adding a location leaves as they were (-1: the file is not settings and is never written).
    // The options as read: an interval never chosen, or not one the timer can take, is 5 minutes.
    void chargerLesEmplacements_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("lignes");
        QTest::addColumn<int>("intact");
        QTest::addColumn<QString>("options");
        const int tout = 1 << 30;
        for (const auto &[nom, options, lu] :
             {std::tuple("casse, zéro", "active=FALSE\ntimer=0", "0 300"),
              std::tuple("non numérique, trop grand", "active=oui\ntimer=2147484", "1 300")})
            QTest::newRow(nom) << QByteArray("[Options]\n") + options << "" << 0 << lu;
        QTest::newRow("trou, groupe sans chemin, lignes vides") << QByteArray(
            "[Emplacement_0]\npath=/a\nfiltre=*.jpg\nselected=true\n\n[Emplacement_1]\npath=/b\n"
            "selected=0\n\n[Emplacement_2]\nfiltre=*.jpg\n[Emplacement_12]\npath=/d\nselected=1\n"
            "[Emplacement_5]\npath=/c\nfiltre=*.jpg\nselected=false\n")
                                                                << "/a*|/b|/c|/d*" << 83 << QString();
        // QSettings reads an unquoted comma as a list; it is one path as written.
        QTest::newRow("virgule sans guillemets")
            << QByteArray("[Emplacement_0]\npath=/photos, 2019 \nselected=1\n[Emplacement_1]\npath=/b,c\n")
            << "/photos, 2019*|/b,c" << tout << QString();
        QTest::newRow("commentaire, CRLF, groupe répété")
            << QByteArray("; notes\r\n[Options]\r\nactive=1\r\n\r\n[Emplacement_0]\r\npath = /a \r\n"
                          "filtre=*.jpg\r\nselected=true\r\n[Options]\r\ntimer=60\r\n")
            << "/a*" << tout << QStringLiteral("1 60");
        QTest::newRow("BOM, échappements \\xNN")
            << QByteArray("\xEF\xBB\xBF[Options]\nactive=true\n[Emplacement_0]\npath=/caf\\xe9\\x20\n")
            << QStringLiteral("/café ") << tout << QString();
        QTest::newRow("Latin-1, numérotés depuis 1")
            << QByteArray("[Emplacement_1]\npath=/a\n[Emplacement_2]\npath=/caf\xe9\n"
                          "filtre=*.jp\xe9\n[Emplacement_3]\npath=/c\n")
            << QStringLiteral("/a|/café|/c") << 0 << QString();
        QTest::newRow("ligne sans fin") << QByteArray(3 << 20, 'a') << "" << -1 << QString();
    }
    void chargerLesEmplacements()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QString, lignes);
        QFETCH(int, intact);
        QFETCH(QString, options);
        QVERIFY(travail->ecrireIni(texte));
        ListeEmplacements modele;
        modele.charger();
        const int timer = lireTimer();
        QCOMPARE(rangees(modele), lignes);
        QVERIFY(options.isEmpty() || QStringLiteral("%1 %2").arg(int(lireActif())).arg(timer) == options);
        if (lireActif())
            enregistrerActif(true);
        QCOMPARE(travail->contenuIni(), texte);
        {
            // The file stays where it was opened.
            DossierDeTravail ailleurs;
            modele.ajouterEmplacement(QStringLiteral("/n"), QStringLiteral("*.png"));
            enregistrerActif(true);
        }
        QCOMPARE(travail->contenuIni() == texte, intact < 0);
        if (intact < 0)
            return;
        QVERIFY(travail->contenuIni().startsWith(texte.left(intact)));
        // Renumbered from 0, with the values the file held.
        ouvrirConfiguration();
        ListeEmplacements relue;
        relue.charger();
        QCOMPARE(rangees(relue), QString(lignes + QLatin1String(lignes.isEmpty() ? "/n" : "|/n")));
        QVERIFY(lireNumerosEmplacements().size() == relue.rowCount()
                && lireNumerosEmplacements().last() == relue.rowCount() - 1);
        QVERIFY(lireActif() && lireTimer() == timer);
    }

    // A kill -9 while the list is renumbered leaves it whole, before or after, never a part of it.
    void unKillNeLaissePasUneListePartielle()
    {
#ifdef Q_OS_WIN
        QSKIP("no fork");
#else
        const int n = 3000;
        QByteArray texte;
        for (int i = 0; i < n; ++i)
            texte += "[Emplacement_" + QByteArray::number(i) + "]\npath=/" + QByteArray::number(i) + '\n';
        for (int essai = 0; essai < 10; ++essai) {
            QVERIFY(travail->ecrireIni(texte));
            const pid_t copie = fork();
            if (copie == 0) {
                ListeEmplacements modele;
                modele.charger();
                // Until killed.
                for (;;)
                    modele.supprimerEmplacement(0);
            }
            QTest::qSleep(20 + 30 * essai);
            QCOMPARE(kill(copie, SIGKILL) + waitpid(copie, nullptr, 0), copie);
            ouvrirConfiguration();
            ListeEmplacements relue;
            relue.charger();
            const int reste = relue.rowCount();
            QVERIFY(reste > 0 && lireNumerosEmplacements().size() == reste
                    && relue.cheminEmplacement(0) == QLatin1Char('/') + QString::number(n - reste));
        }
#endif
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "configuration.moc"
