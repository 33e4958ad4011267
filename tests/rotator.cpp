#include "rotation/rotator.h"
#include "commun.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

#include <memory>

class TestRotator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;
    std::unique_ptr<ListeEmplacements> modele;
    std::unique_ptr<Rotator> rotator;

    // A location over folder nom, made with those empty files, then the candidates listed again.
    QString ajouter(const QString &nom, const QStringList &fichiers,
                    const QString &filtre = QStringLiteral("*.jpg"), bool selectionne = true)
    {
        const QString dossier = travail->chemin(nom);
        if (!fichiers.isEmpty())
            QDir().mkpath(dossier);
        for (const QString &f : fichiers)
            QFile(dossier + QLatin1Char('/') + f).open(QIODevice::WriteOnly);
        modele->ajouterEmplacement(dossier, filtre);
        modele->setSelectionne(modele->rowCount() - 1, selectionne);
        rotator->chargerFichiers(modele.get());
        return dossier;
    }
    static QStringList images(int n)
    {
        QStringList noms;
        for (int i = 0; i < n; ++i)
            noms << QStringLiteral("img%1.jpg").arg(i);
        return noms;
    }
    static QSet<QString> ensemble(const QStringList &l) { return QSet<QString>(l.cbegin(), l.cend()); }

private slots:
    void init()
    {
        travail = std::make_unique<DossierDeTravail>();
        ouvrirConfiguration();
        enregistreur = installerEnregistreur();
        modele = std::make_unique<ListeEmplacements>();
        rotator = std::make_unique<Rotator>();
    }
    void cleanup()
    {
        rotator.reset();
        installerBureau(nullptr);
        travail.reset();
    }

    void chaqueCycleMontreChaqueCandidatUneFois_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {0, 1, 2, 3, 17, 250})
            QTest::addRow("%d", n) << n;
    }
    void chaqueCycleMontreChaqueCandidatUneFois()
    {
        QFETCH(int, n);
        ajouter(QStringLiteral("d"), images(n));
        QCOMPARE(rotator->candidats().size(), n);
        // Fewer than two candidates: nothing to change to.
        const QStringList attendus = n < 2 ? QStringList() : rotator->candidats();
        for (int cycle = 0; cycle < 4; ++cycle) {
            if (cycle == 2) {
                // Listing the pictures again starts a new cycle, whatever the old one had drawn.
                rotator->changerWallpaper();
                rotator->chargerFichiers(modele.get());
            }
            enregistreur->appliques.clear();
            rotator->demarrer();
            for (int i = 1; i < n; ++i) {
                // Stopping and starting in mid-cycle must not reset what was drawn.
                if (i == n / 2) {
                    rotator->arreter();
                    rotator->demarrer();
                } else {
                    rotator->changerWallpaper();
                }
            }
            QVERIFY(rotator->estActif());
            rotator->arreter();
            QCOMPARE(enregistreur->appliques.size(), attendus.size());
            QCOMPARE(ensemble(enregistreur->appliques), ensemble(attendus));
        }
    }

    void quiEstCandidat_data()
    {
        QTest::addColumn<QString>("fichiers");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<QString>("attendus");
        const char *hostiles = "a b.jpg|\"q'.jpg|l\nn.jpg|%20#.jpg|été.jpg|a\\b.jpg";
        const auto jpg = QStringLiteral("*.jpg");
        QTest::newRow("casse de l'extension") << "a.jpg|B.JPG|c.png" << jpg << "a.jpg|B.JPG";
        QTest::newRow("un seul motif, séparateur compris")
            << "a.jpg|b.png|x.jpg;y.png" << QStringLiteral("*.jpg;*.png") << "x.jpg;y.png";
        QTest::newRow("noms hostiles") << hostiles << jpg << hostiles;
        QTest::newRow("fichiers cachés exclus") << ".cache.jpg|vu.jpg|aussi.jpg" << jpg << "aussi.jpg|vu.jpg";
    }
    void quiEstCandidat()
    {
        QFETCH(QString, fichiers);
        QFETCH(QString, filtre);
        QFETCH(QString, attendus);
        const QString dossier = ajouter(QStringLiteral("d"), fichiers.split(QLatin1Char('|')), filtre);
        QStringList obtenus;
        for (const QString &c : rotator->candidats())
            obtenus << c.mid(dossier.size() + 1);
        QCOMPARE(ensemble(obtenus), ensemble(attendus.split(QLatin1Char('|'))));
        // On Linux the path reaches the desktop as listed: a backslash is part of a name.
        for (int i = 0; i < obtenus.size(); ++i)
            rotator->changerWallpaper();
        for (const QString &applique : qAsConst(enregistreur->appliques))
            QVERIFY2(QFile::exists(applique), qPrintable(applique));
    }

    void lesEmplacementsDifficiles()
    {
        const QString d = ajouter(QStringLiteral("d"), images(2));
        QDir(d).mkdir(QStringLiteral("sous-dossier.jpg"));
        QFile::link(d + QStringLiteral("/boucle.jpg"), d + QStringLiteral("/boucle.jpg"));
        QFile::link(d + QStringLiteral("/absent"), d + QStringLiteral("/casse.jpg"));
        QFile::link(d + QStringLiteral("/img0.jpg"), d + QStringLiteral("/lien.jpg"));
        ajouter(QStringLiteral("absent"), {});
        ajouter(QStringLiteral("d/img0.jpg"), {}, QStringLiteral("*"));
        ajouter(QStringLiteral("d"), {},
                QStringLiteral("img*")); // the same pictures through a second location
        ajouter(QStringLiteral("e"), images(3), QStringLiteral("*.jpg"), false);
        QStringList noms;
        for (const QString &c : rotator->candidats())
            noms << c.section(QLatin1Char('/'), -1);
        noms.sort();
        QCOMPARE(noms,
                 QStringLiteral("img0.jpg|img0.jpg|img1.jpg|img1.jpg|lien.jpg").split(QLatin1Char('|')));
    }

    void lIntervalleEstBorneMaisStockeTelQuel_data()
    {
        QTest::addColumn<int>("secondes");
        QTest::addColumn<int>("ms");
        // What the next start reads back: a stored value the timer cannot take is 5 minutes.
        QTest::addColumn<int>("relu");
        QTest::newRow("30") << 30 << 30000 << 30;
        QTest::newRow("0") << 0 << 1000 << 300;
        QTest::newRow("plus grand qui tienne") << 2147483 << 2147483000 << 2147483;
        QTest::newRow("débordement") << 2147484 << 2147483000 << 300;
        QTest::newRow("int max") << std::numeric_limits<int>::max() << 2147483000 << 300;
        QTest::newRow("int min") << std::numeric_limits<int>::min() << 1000 << 300;
    }
    void lIntervalleEstBorneMaisStockeTelQuel()
    {
        QFETCH(int, secondes);
        QFETCH(int, ms);
        QFETCH(int, relu);
        rotator->changerIntervalle(secondes);
        QCOMPARE(rotator->intervalleMs(), ms);
        QCOMPARE(lireTimer(), relu);
        rotator->demarrer();
        QCOMPARE(rotator->intervalleMs(), relu * 1000);
    }

    void demarrerChangeAussitotPuisLeMinuteurPrendLeRelais()
    {
        enregistrerTimer(1);
        ajouter(QStringLiteral("d"), images(3));
        rotator->demarrer();
        QCOMPARE(enregistreur->appliques.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(enregistreur->appliques.size(), 2, 5000);
        rotator->arreter();
        QVERIFY(!rotator->estActif());
    }
};

QTEST_GUILESS_MAIN(TestRotator)
#include "rotator.moc"
