#include "rotation/rotator.h"
#include "commun.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Generous: a loaded machine must slow the tests down, not fail them.
constexpr int delaiMax = 20000;

QStringList images(int n, int premier = 0)
{
    QStringList noms;
    for (int i = premier; i < premier + n; ++i)
        noms << u"img%1.jpg"_s.arg(i);
    return noms;
}

void creer(const QString &dossier, const QStringList &noms)
{
    QDir().mkpath(dossier);
    for (const QString &f : noms)
        QFile(dossier + '/'_L1 + f).open(QIODevice::WriteOnly);
}

class TestRotator : public QObject
{
    Q_OBJECT

    QTemporaryDir configuration;
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;
    std::unique_ptr<ListeEmplacements> modele;
    std::unique_ptr<Rotator> rotator;

    // A selected location over folder nom (absolute, or in the working folder), made with those files.
    QString ajouter(const QString &nom, const QStringList &fichiers = {}, const QString &filtre = u"*.jpg"_s)
    {
        const QString dossier = nom.startsWith('/'_L1) ? nom : travail->chemin(nom);
        creer(dossier, fichiers);
        modele->ajouterEmplacement(dossier, filtre);
        modele->setSelectionne(modele->rowCount() - 1, true);
        return dossier;
    }
    // Follows the model and waits until every location has been listed.
    bool lister()
    {
        rotator->chargerFichiers(modele.get());
        return QTest::qWaitFor([&] { return rotator->listages() >= modele->rowCount(); }, delaiMax);
    }
    // Asks for a picture and waits for one more to be shown; false when none came.
    bool tirer()
    {
        const auto avant = enregistreur->appliques.size();
        rotator->changerWallpaper();
        return QTest::qWaitFor([&] { return enregistreur->appliques.size() > avant; }, delaiMax);
    }

private slots:
    void init()
    {
        // The last picture shown is remembered under the configuration folder: one of the test's own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));
        travail = std::make_unique<DossierDeTravail>();
        QFile::remove(cheminRotation());
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

    // Random adds and removes between draws in two folders; some drawn pictures found unreadable, left out
    // until their folder is listed again.
    void leTirageSansRepetitionSousLeRemous_data()
    {
        QTest::addColumn<int>("depart");
        QTest::addColumn<int>("remous");
        for (int depart : {0, 1, 2, 3, 17})
            for (int remous : {0, 30, 90})
                QTest::addRow("%d images, %d %% de remous", depart, remous) << depart << remous;
    }
    void leTirageSansRepetitionSousLeRemous()
    {
        QFETCH(int, depart);
        QFETCH(int, remous);
        QRandomGenerator hasard(quint32(depart * 100 + remous));
        Candidats lot;
        QStringList noms[2];
        QSet<QString> tous, ecartes, cycle;
        QString precedent;
        for (int tour = -depart, suivant = 0; tour < 1500; ++tour) {
            if (tour < 0 || int(hasard.bounded(100)) < remous) {
                const int d = int(hasard.bounded(2));
                const QString dossier = u"/d%1"_s.arg(d);
                if (tour < 0 || hasard.bounded(2) || noms[d].isEmpty())
                    tous << dossier + '/'_L1 + noms[d].emplace_back(u"p%1.jpg"_s.arg(suivant++));
                else
                    tous.remove(dossier + '/'_L1 + noms[d].takeAt(int(hasard.bounded(int(noms[d].size())))));
                ecartes.removeIf([&](const QString &c) { return c.startsWith(dossier); });
                Listage l;
                for (const QString &n : std::as_const(noms[d]))
                    l.ajouter(n);
                lot.remplacer(dossier, dossier, std::move(l));
                if (tour < 0)
                    continue;
            }
            const QSet<QString> avant = tous - ecartes;
            // The picture the desktop showed before the start is not drawn first.
            if (tour == 0 && !avant.isEmpty())
                precedent = *avant.cbegin();
            QCOMPARE(lot.nombre(), int(avant.size()));
            const Tire t = lot.tirer(hasard.generate(), precedent);
            QCOMPARE(t.chemin.isEmpty(), avant.isEmpty());
            if (avant.isEmpty())
                continue;
            QVERIFY(avant.contains(t.chemin));
            if (t.cycleNeuf) {
                // Every picture there at the end of a cycle, added mid-cycle or not, was drawn in it.
                QVERIFY(cycle.contains(avant));
                cycle.clear();
            }
            QVERIFY2(!cycle.contains(t.chemin) && (avant.size() == 1 || t.chemin != precedent),
                     qPrintable(t.chemin));
            // Left out as unreadable: drawn again once its folder is listed again.
            if (int(hasard.bounded(100)) < remous / 3) {
                lot.abandonner(t);
                ecartes << t.chemin;
            } else {
                cycle << t.chemin;
                precedent = t.chemin;
            }
        }
    }

    // Hidden files, folders, fifos, broken or looping links and absent folders are no candidates; a filter
    // is one pattern whatever it holds, blind to case; names are data, and reach the desktop as listed.
    void quiEstCandidat_data()
    {
        QTest::addColumn<QString>("sous");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<QString>("attendus");
        QTest::newRow("*.jpg")
            << u""_s << u"*.jpg"_s
            << u"a b.jpg|\"q'.jpg|l\nn.jpg|%20#.jpg|été.jpg|a\\b.jpg|B.JPG|img0.jpg|lien.jpg|"_s
                + nomDepuisOctets("inv\xff\xfe.jpg");
        // One character, not one byte, and case folded beyond ASCII.
        QTest::newRow("?T?.JPG") << u""_s << u"?T?.JPG"_s << u"été.jpg"_s;
        QTest::newRow("un seul motif") << u""_s << u"*.jpg;*.png"_s << u"x.jpg;y.png"_s;
        // A run of stars is one star, whatever the names' characters.
        QTest::newRow("25 étoiles") << u""_s << QString(25, '*'_L1) + u"(******"_s << u"(******|(*****é"_s;
        QTest::newRow("absent") << u"/absent"_s << u"*"_s << u""_s;
    }
    void quiEstCandidat()
    {
        QFETCH(QString, sous);
        QFETCH(QString, filtre);
        QFETCH(QString, attendus);
        const QString d = travail->chemin(u"d"_s);
        creer(d,
              u"a b.jpg|\"q'.jpg|l\nn.jpg|%20#.jpg|été.jpg|a\\b.jpg|B.JPG|c.png|.cache.jpg|x.jpg;y.png|y.png|"
              "(******|(*****é|img0.jpg"_s.split('|'_L1));
        QDir(d).mkdir(u"sous-dossier.jpg"_s);
        for (const QString &lien :
             {u"boucle.jpg>boucle"_s, u"absent>casse"_s, u"img0.jpg>lien"_s, u"sous-dossier.jpg>ld"_s})
            QFile::link(d + '/'_L1 + lien.section('>'_L1, 0, 0),
                        d + '/'_L1 + lien.section('>'_L1, 1) + ".jpg"_L1);
        QCOMPARE(mkfifo(QFile::encodeName(d + u"/tube.jpg"_s).constData(), 0600), 0);
        // A name that is not UTF-8 is found and opened by its own bytes; Qt cannot name it to remove it.
        const QByteArray brut = QFile::encodeName(d) + "/inv\xff\xfe.jpg";
        QVERIFY(::close(::open(brut.constData(), O_CREAT | O_WRONLY, 0600)) == 0);
        const auto effacer = qScopeGuard([&] { ::unlink(brut.constData()); });
        ajouter(d + sous, {}, filtre);
        QVERIFY(lister());
        QSet<QString> obtenus;
        for (const QString &c : rotator->candidats())
            obtenus << c.mid(d.size() + 1);
        const QStringList voulus = attendus.split('|'_L1, Qt::SkipEmptyParts);
        QCOMPARE(obtenus, QSet<QString>(voulus.cbegin(), voulus.cend()));
        // On Linux the path reaches the desktop as listed: a backslash is part of a name.
        for (int i = 0; i < obtenus.size(); ++i) {
            QVERIFY(tirer());
            QVERIFY2(::access(octetsDuNom(enregistreur->appliques.last()).constData(), R_OK) == 0,
                     qPrintable(enregistreur->appliques.last()));
        }
    }

    // Drawn files gone since the listing, faster than the watcher's quiet time, more of them than a draw has
    // tries; files that are no pictures, for a desktop that shows only what decodes: passed over.
    void unFichierDisparuEstSaute_data()
    {
        QTest::addColumn<bool>("decodable");
        QTest::newRow("supprimés") << false;
        QTest::newRow("pas des images, bureau qui décode") << true;
    }
    void unFichierDisparuEstSaute()
    {
        QFETCH(bool, decodable);
        enregistreur->decodable = decodable;
        const QString d = ajouter(u"d"_s, images(decodable ? 20 : 500));
        QVERIFY(creerImage(d + u"/img0.jpg"_s) && lister());
        for (const QString &nom : images(decodable ? 0 : 499, 1))
            QVERIFY(QFile::remove(d + '/'_L1 + nom));
        QVERIFY(tirer());
        QCOMPARE(enregistreur->appliques, QStringList {d + u"/img0.jpg"_s});
    }

    // Real folders and the real watcher: pictures come and go while the rotation runs.
    void lesDossiersSontSuivis()
    {
        const QString d = ajouter(u"d"_s, images(2));
        QVERIFY(lister());
        // Deleted and made again, as a disk mounted again: ticks bring its pictures back, and its watch.
        QVERIFY(QDir(d).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 0, delaiMax);
        creer(d, images(2, 20000));
        QVERIFY(QTest::qWaitFor(
            [&] { return tirer() && enregistreur->appliques.last().contains("img2000"_L1); }, delaiMax));
        // A desktop that answers within the call, as GSettings does: the history keeps the names it was
        // given.
        QVERIFY(tirer());
        QCOMPARE(rotator->memoire().precedentes().value(0),
                 enregistreur->appliques.value(enregistreur->appliques.size() - 2));
        creer(d, images(1, 30000));
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 3, delaiMax);
    }

    // A dead share beside a local folder: the event loop keeps answering, the folder is drawn from, and going
    // away waits for nothing.
    void unPartageMort()
    {
        const QString source = travail->chemin(u"source"_s), montage = travail->chemin(u"montage"_s),
                      delai = travail->chemin(u"delai"_s);
        // How long the share holds a listing, in seconds: longer than any step of the test.
        const auto bloquer = [&](const char *s) {
            QFile f(delai);
            return f.open(QIODevice::WriteOnly) && f.write(s) > 0;
        };
        QProcess fuse;
        const auto demonter = qScopeGuard([&] {
            fuse.kill();
            fuse.waitForFinished(5000);
            QProcess::execute(u"sh"_s,
                              {u"-c"_s, u"fusermount -uz \"$0\" || fusermount3 -uz \"$0\""_s, montage});
        });
        if (!creerImage(source + u"/img0.jpg"_s) || !QDir().mkpath(montage)
            || premiereLigne(fuse, u"" PAPIROL2_TESTS "/partagelent.py"_s, {source, montage, delai})
                   .isEmpty())
            QSKIP("FUSE unavailable (/dev/fuse, python3-fusepy, libfuse2, root): dead share not tested");
        QVERIFY(bloquer("30"));
        ajouter(montage);
        const QString local = ajouter(u"local"_s);
        QVERIFY(creerImage(local + u"/img0.jpg"_s));
        rotator->chargerFichiers(modele.get());
        int listesALaReponse = -1;
        QTimer::singleShot(0, [&] { listesALaReponse = rotator->listages(); });
        QTRY_VERIFY_WITH_TIMEOUT(listesALaReponse >= 0, delaiMax);
        QVERIFY2(listesALaReponse < 2, "the share was listed before the event loop answered");
        QVERIFY(tirer());
        QCOMPARE(enregistreur->appliques.last(), local + u"/img0.jpg"_s);
        // A listing held for good, then the end: a wait for it is a hang, caught by the test's time-out.
        QVERIFY(bloquer("100000"));
        ajouter(montage, {}, u"*"_s);
        rotator->chargerFichiers(modele.get());
        rotator.reset();
    }
};

QTEST_GUILESS_MAIN(TestRotator)
#include "rotator.moc"
