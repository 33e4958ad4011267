#include "rotation/rotator.h"
#include "commun.h"
#include "commun/chemins.h"
#include "commun/nomsfichiers.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {
// Generous: a loaded machine must slow the tests down, not fail them.
constexpr int delaiMax = 20000;

QStringList images(int n, int premier = 0)
{
    QStringList noms;
    for (int i = premier; i < premier + n; ++i)
        noms << QStringLiteral("img%1.jpg").arg(i);
    return noms;
}

void creer(const QString &dossier, const QStringList &noms)
{
    QDir().mkpath(dossier);
    for (const QString &f : noms)
        QFile(dossier + QLatin1Char('/') + f).open(QIODevice::WriteOnly);
}
enum Echec { Supprime, Tube, PasUneImage };
} // namespace

class TestRotator : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir configuration;
    std::unique_ptr<DossierDeTravail> travail;
    BureauEnregistreur *enregistreur = nullptr;
    std::unique_ptr<ListeEmplacements> modele;
    std::unique_ptr<Rotator> rotator;

    // A location over folder nom, made with those empty files.
    QString ajouter(const QString &nom, const QStringList &fichiers,
                    const QString &filtre = QStringLiteral("*.jpg"), bool selectionne = true)
    {
        const QString dossier = nom.startsWith(QLatin1Char('/')) ? nom : travail->chemin(nom);
        if (!fichiers.isEmpty())
            creer(dossier, fichiers);
        modele->ajouterEmplacement(dossier, filtre);
        modele->setSelectionne(modele->rowCount() - 1, selectionne);
        return dossier;
    }
    // Follows the model and waits until every selected location has been listed.
    bool lister()
    {
        int selectionnes = 0;
        for (int i = 0; i < modele->rowCount(); ++i)
            selectionnes += modele->estSelectionne(i);
        rotator->chargerFichiers(modele.get());
        return QTest::qWaitFor([&] { return rotator->listages() >= selectionnes; }, delaiMax);
    }
    // Asks for a picture and waits for one more to be shown; false when none came.
    bool tirer()
    {
        const auto avant = enregistreur->appliques.size();
        rotator->changerWallpaper();
        return QTest::qWaitFor([&] { return enregistreur->appliques.size() > avant; }, delaiMax);
    }

private slots:
    // The last picture shown is remembered under the configuration folder: one of the test's own.
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path())); }
    void init()
    {
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

    // Random adds and removes between draws, over many cycles, in two locations; some drawn pictures found
    // unreadable, left out until their folder is listed again.
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
        QStringList dossiers[2];
        int suivant = 0;
        for (int i = 0; i < depart; ++i)
            dossiers[i % 2] << QStringLiteral("p%1.jpg").arg(suivant++);
        QSet<QString> ecartes;
        const auto relister = [&](int d) {
            ecartes.removeIf([d](const QString &c) { return c.startsWith(QStringLiteral("/d%1/").arg(d)); });
            Listage l;
            for (const QString &n : dossiers[d])
                l.ajouter(n);
            lot.remplacer(QString::number(d), QStringLiteral("/d%1").arg(d), std::move(l));
        };
        relister(0);
        relister(1);
        const auto vivants = [&] {
            QSet<QString> v;
            for (int d : {0, 1}) {
                for (const QString &n : dossiers[d])
                    v << QStringLiteral("/d%1/").arg(d) + n;
            }
            return v - ecartes;
        };
        // The picture the desktop showed before the start is not drawn first.
        QString precedent = vivants().isEmpty() ? QString() : *vivants().cbegin();
        QSet<QString> cycle;
        for (int tour = 0; tour < 1500; ++tour) {
            if (int(hasard.bounded(100)) < remous) {
                const int d = int(hasard.bounded(2));
                if (hasard.bounded(2) || dossiers[d].isEmpty())
                    dossiers[d] << QStringLiteral("p%1.jpg").arg(suivant++);
                else
                    dossiers[d].removeAt(int(hasard.bounded(int(dossiers[d].size()))));
                relister(d);
            }
            const QSet<QString> avant = vivants();
            QCOMPARE(lot.nombre(), int(avant.size()));
            const Tire t = lot.tirer(hasard.generate(), precedent);
            if (avant.isEmpty()) {
                QVERIFY(t.chemin.isEmpty());
                continue;
            }
            QVERIFY(avant.contains(t.chemin));
            if (t.cycleNeuf) {
                // Every picture there at the end of a cycle, added mid-cycle or not, was drawn in it.
                QVERIFY(cycle.contains(avant));
                cycle.clear();
            }
            QVERIFY2(!cycle.contains(t.chemin), qPrintable(t.chemin));
            if (avant.size() > 1)
                QVERIFY2(t.chemin != precedent, qPrintable(t.chemin));
            if (int(hasard.bounded(100)) < remous / 3) {
                // Never shown: once listed again it may be drawn in this cycle.
                lot.abandonner(t);
                ecartes << t.chemin;
                continue;
            }
            cycle << t.chemin;
            precedent = t.chemin;
        }
    }

    // Hidden files, folders, broken or looping links and absent folders are no candidates; a filter is one
    // pattern whatever it holds, blind to case; names are data, and reach the desktop as listed.
    void quiEstCandidat_data()
    {
        QTest::addColumn<QString>("sous");
        QTest::addColumn<QString>("filtre");
        QTest::addColumn<QStringList>("attendus");
        const QStringList jpg
            = QStringLiteral("a b.jpg|\"q'.jpg|l\nn.jpg|%20#.jpg|été.jpg|a\\b.jpg|B.JPG|img0.jpg|lien.jpg")
                  .split(QLatin1Char('|'))
            << nomDepuisOctets("inv\xff\xfe.jpg");
        QTest::newRow("*.jpg") << QString() << QStringLiteral("*.jpg") << jpg;
        QTest::newRow("img*") << QString() << QStringLiteral("img*")
                              << QStringList {QStringLiteral("img0.jpg")};
        // One character, not one byte, and case folded beyond ASCII.
        QTest::newRow("?T?.JPG") << QString() << QStringLiteral("?T?.JPG")
                                 << QStringList {QStringLiteral("été.jpg")};
        QTest::newRow("un seul motif")
            << QString() << QStringLiteral("*.jpg;*.png") << QStringList {QStringLiteral("x.jpg;y.png")};
        // A run of stars is one star, whatever the names' characters.
        QTest::newRow("25 étoiles") << QString() << QString(25, QLatin1Char('*')) + QStringLiteral("(******")
                                    << QStringList {QStringLiteral("(******"), QStringLiteral("(*****é")};
        QTest::newRow("un fichier") << QStringLiteral("/img0.jpg") << QStringLiteral("*") << QStringList();
        QTest::newRow("absent") << QStringLiteral("/absent") << QStringLiteral("*") << QStringList();
    }
    void quiEstCandidat()
    {
        QFETCH(QString, sous);
        QFETCH(QString, filtre);
        QFETCH(QStringList, attendus);
        const QStringList hostiles
            = QStringLiteral("a b.jpg|\"q'.jpg|l\nn.jpg|%20#.jpg|été.jpg|a\\b.jpg|B.JPG|c.png|.cache.jpg|"
                             "x.jpg;y.png|y.png|(******|(*****é")
                  .split(QLatin1Char('|'));
        const QString d = travail->chemin(QStringLiteral("d"));
        creer(d, hostiles + images(1));
        QDir(d).mkdir(QStringLiteral("sous-dossier.jpg"));
        QFile::link(d + QStringLiteral("/boucle.jpg"), d + QStringLiteral("/boucle.jpg"));
        QFile::link(d + QStringLiteral("/absent"), d + QStringLiteral("/casse.jpg"));
        QFile::link(d + QStringLiteral("/img0.jpg"), d + QStringLiteral("/lien.jpg"));
        QFile::link(d + QStringLiteral("/sous-dossier.jpg"), d + QStringLiteral("/lien-dossier.jpg"));
        QCOMPARE(mkfifo(QFile::encodeName(d + QStringLiteral("/tube.jpg")).constData(), 0600), 0);
        // A name that is not UTF-8 is found and opened by its own bytes.
        const QByteArray brut = QFile::encodeName(d) + "/inv\xff\xfe.jpg";
        QVERIFY(::close(::open(brut.constData(), O_CREAT | O_WRONLY, 0600)) == 0);
        // Qt cannot name it, so it would outlive the temporary folder.
        const auto effacer = qScopeGuard([&] { ::unlink(brut.constData()); });
        ajouter(d + sous, {}, filtre);
        QVERIFY(lister());
        QStringList obtenus;
        for (const QString &c : rotator->candidats())
            obtenus << c.mid(d.size() + 1);
        obtenus.sort();
        attendus.sort();
        QCOMPARE(obtenus, attendus);
        for (int i = 0; i < obtenus.size(); ++i)
            QVERIFY(tirer());
        // On Linux the path reaches the desktop as listed: a backslash is part of a name.
        for (const QString &applique : std::as_const(enregistreur->appliques))
            QVERIFY2(::access(octetsDuNom(applique).constData(), R_OK) == 0, qPrintable(applique));
    }

    // Thousands of missing folders: each is listed once until a tick with nothing to draw looks again, and is
    // said missing once, however often it is looked at.
    void desMilliersDeDossiersAbsents()
    {
        static QStringList dits;
        QLoggingCategory::setFilterRules(QStringLiteral("papirol2.rotation.info=true"));
        const auto avant = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) { dits << message; });
        const auto retablir = qScopeGuard([&] {
            qInstallMessageHandler(avant);
            QLoggingCategory::setFilterRules({});
        });
        constexpr int n = 5000;
        for (int i = 0; i < n; ++i)
            ajouter(QStringLiteral("absent/%1").arg(i), {});
        rotator->chargerFichiers(modele.get());
        rotator->changerWallpaper();
        QTRY_COMPARE_WITH_TIMEOUT(rotator->listages(), n, delaiMax);
        // Past the first wait before a missing folder is looked at again.
        QTest::qWait(1500);
        QCOMPARE(rotator->listages(), n);
        rotator->changerWallpaper();
        QTRY_COMPARE_WITH_TIMEOUT(rotator->listages(), 2 * n, delaiMax);
        QCOMPARE(dits.filter(QStringLiteral("absent/")).size(), n);
    }

    // A single picture is a wallpaper too: shown once, then left alone; with two, the one shown last before a
    // restart is not the first one after it.
    void apresUnRedemarrage_data()
    {
        QTest::addColumn<int>("nombre");
        QTest::newRow("une image") << 1;
        QTest::newRow("deux images") << 2;
    }
    void apresUnRedemarrage()
    {
        QFETCH(int, nombre);
        ajouter(QStringLiteral("d"), images(nombre));
        for (int demarrage = 0; demarrage < 8; ++demarrage) {
            rotator = std::make_unique<Rotator>();
            const QStringList avant = enregistreur->appliques;
            // Asked before the listing is back: the picture comes with it.
            rotator->chargerFichiers(modele.get());
            rotator->demarrer();
            QTRY_COMPARE_WITH_TIMEOUT(enregistreur->appliques.size(), avant.size() + 1, delaiMax);
            QVERIFY(avant.isEmpty() || enregistreur->appliques.last() != avant.last() || nombre == 1);
            rotator->changerWallpaper();
            QTest::qWait(nombre == 1 ? 300 : 0);
            QTRY_COMPARE_WITH_TIMEOUT(enregistreur->appliques.size(), avant.size() + nombre, delaiMax);
        }
    }

    // A drawn file gone since the listing, swapped for something that is no picture file, or no picture for a
    // desktop that shows only what decodes, is passed over.
    void unFichierDisparuEstSaute_data()
    {
        QTest::addColumn<int>("echec");
        QTest::newRow("supprimés") << int(Supprime);
        QTest::newRow("remplacés par des tubes nommés") << int(Tube);
        QTest::newRow("pas des images, bureau qui décode") << int(PasUneImage);
    }
    void unFichierDisparuEstSaute()
    {
        QFETCH(int, echec);
        enregistreur->decodable = echec == PasUneImage;
        const QString d = ajouter(QStringLiteral("d"), images(20));
        QVERIFY(creerImage(d + QStringLiteral("/img0.jpg")));
        QVERIFY(lister());
        for (const QString &nom : images(19, 1)) {
            const QString chemin = d + QLatin1Char('/') + nom;
            if (echec != PasUneImage)
                QVERIFY(QFile::remove(chemin));
            if (echec == Tube)
                QCOMPARE(mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
        }
        // Drawn before the watcher has the folder listed again.
        QVERIFY(tirer());
        QCOMPARE(enregistreur->appliques, QStringList {d + QStringLiteral("/img0.jpg")});
        // Files that are still there are no reason to list their folder again.
        if (echec == PasUneImage) {
            QTest::qWait(2 * Rotator::calmeMs);
            QCOMPARE(rotator->listages(), 1);
        }
    }

    // Real folders and the real watcher: pictures come and go while the rotation runs.
    void lesDossiersSontSuivis()
    {
        const QString d = ajouter(QStringLiteral("d"), images(2));
        QVERIFY(lister());
        QVERIFY(tirer());
        creer(d, images(1, 2));
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 3, delaiMax);
        // Added mid-cycle, drawn in this cycle: the two left are the other one and the new one.
        QVERIFY(tirer());
        QVERIFY(tirer());
        QSet<QString> tous;
        for (const QString &n : images(3))
            tous << d + QLatin1Char('/') + n;
        QCOMPARE(enregistreur->appliques.size(), 3);
        QCOMPARE(QSet<QString>(enregistreur->appliques.cbegin(), enregistreur->appliques.cend()), tous);
        QVERIFY(QFile::remove(d + QStringLiteral("/img0.jpg")));
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 2, delaiMax);
        // A copy of 5,000 pictures costs a handful of listings, not one each.
        const int avant = rotator->listages();
        creer(d, images(5000, 10));
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 5002, delaiMax);
        QVERIFY2(rotator->listages() - avant < 10, qPrintable(QString::number(rotator->listages() - avant)));

        // Deleted and made again, as a disk mounted again: ticks bring its pictures back, and its watch.
        QVERIFY(QDir(d).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 0, delaiMax);
        creer(d, images(2, 20000));
        const auto revenue = [&] {
            rotator->changerWallpaper();
            QTest::qWait(200);
            return enregistreur->appliques.last().contains(QLatin1String("img2000"));
        };
        QVERIFY(QTest::qWaitFor(revenue, delaiMax));
        creer(d, images(1, 30000));
        QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 3, delaiMax);

        // Files that come and go faster than the watcher's quiet time: a tick still shows one of those that
        // stay.
        for (int tour = 0; tour < 3; ++tour) {
            creer(d, images(500, 1000 * (tour + 40)));
            QTRY_COMPARE_WITH_TIMEOUT(rotator->candidats().size(), 503, delaiMax);
            for (const QString &nom : images(500, 1000 * (tour + 40)))
                QVERIFY(QFile::remove(d + QLatin1Char('/') + nom));
            QVERIFY(tirer());
            QVERIFY2(QFile::exists(enregistreur->appliques.last()),
                     qPrintable(enregistreur->appliques.last()));
        }
    }

    // A share whose listing takes seconds: the event loop keeps answering, the pictures come after.
    void unPartageLent()
    {
        // A FUSE mirror of source at montage whose listings, and openings of a file, take the seconds in
        // delai.
        const QString source = travail->chemin(QStringLiteral("source")),
                      montage = travail->chemin(QStringLiteral("montage")),
                      delai = travail->chemin(QStringLiteral("delai"));
        const auto changerDelai = [&](const char *secondes) {
            QFile f(delai);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(secondes) > 0);
        };
        QProcess fuse;
        const auto demonter = qScopeGuard([&] {
            fuse.kill();
            fuse.waitForFinished(5000);
            // Where fuse3 stands alone, its tool may go by its own name only.
            if (QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-uz"), montage}) == -2)
                QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-uz"), montage});
        });
        const auto monte = [&] {
            QFile table(QStringLiteral("/proc/self/mounts"));
            return table.open(QIODevice::ReadOnly)
                && table.readAll().contains(' ' + QFile::encodeName(montage) + ' ');
        };
        QVERIFY(QDir().mkpath(source) && QDir().mkpath(montage));
        fuse.start(QStringLiteral(PAPIROL2_TESTS "/partagelent.py"), {source, montage, delai});
        if (!QTest::qWaitFor([&] { return monte() || fuse.state() == QProcess::NotRunning; }, 15000)
            || !monte())
            QSKIP("FUSE unavailable (needs /dev/fuse, python3-fusepy, libfuse2 and root): slow share not "
                  "tested");
        for (const QString &nom : images(3))
            QVERIFY(creerImage(source + QLatin1Char('/') + nom));
        // Listing and opening a picture are both slow, and the desktop wants it decoded first.
        enregistreur->decodable = true;
        changerDelai("4 4");
        ajouter(montage, {});
        QElapsedTimer chrono;
        chrono.start();
        qint64 pire = 0, dernierBattement = 0;
        QTimer battement;
        connect(&battement, &QTimer::timeout, [&] {
            pire = qMax(pire, chrono.elapsed() - dernierBattement);
            dernierBattement = chrono.elapsed();
        });
        battement.start(20);
        rotator->chargerFichiers(modele.get());
        rotator->demarrer();
        QTRY_COMPARE_WITH_TIMEOUT(enregistreur->appliques.size(), 1, delaiMax);
        QVERIFY2(chrono.elapsed() > 8000, "the share was not slow");
        QVERIFY2(pire < 500, qPrintable(QStringLiteral("event loop stalled %1 ms").arg(pire)));

        // Switched off while being listed: its late listing is dropped.
        modele->setSelectionne(0, false);
        rotator->chargerFichiers(modele.get());
        QVERIFY(rotator->candidats().isEmpty());
        // Going away mid-listing waits for nothing.
        changerDelai("30");
        modele->setSelectionne(0, true);
        rotator->chargerFichiers(modele.get());
        QTest::qWait(200);
        chrono.restart();
        rotator.reset();
        QVERIFY2(chrono.elapsed() < 3000, qPrintable(QString::number(chrono.elapsed())));
        QVERIFY(pire < 500);
    }
};

QTEST_GUILESS_MAIN(TestRotator)
#include "rotator.moc"
