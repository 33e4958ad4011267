// The built program driven as a user drives it: real X server, real tray host, clicks and keys sent
// with xdotool. What the user sees is read back from the screen and from the settings file.
#include "commun.h"
#include "commun/chemins.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QtTest>

#include <iterator>
#include <memory>
#include <vector>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// Generous: a loaded machine must slow the test down, not fail it.
constexpr int delaiMax = 15000;
// How long a test waits to see that something does not happen.
constexpr int delaiAbsence = 1500;

const QColor rouge(200, 30, 30), vert(30, 180, 60), bleu(40, 60, 210);

QStringList mots(const char *texte)
{
    return QString::fromUtf8(texte).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

template<typename Condition>
bool attendre(Condition condition)
{
    return QTest::qWaitFor(condition, delaiMax);
}

/** A child process stopped with its owner: asked first, then (by QProcess) forced. */
class Processus : public QProcess
{
public:
    ~Processus() override
    {
        terminate();
        waitForFinished(5000);
    }
};

/** What a helper tool (the words of commande, then plus) prints; null when it fails. */
QString outil(const char *commande, const QStringList &plus = {})
{
    QStringList arguments = mots(commande) + plus;
    const QString programme = arguments.takeFirst();
    return sortieDe(programme, arguments);
}

QStringList lignes(const char *commande, const QStringList &plus = {})
{
    return outil(commande, plus).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool cliquer(const QString &fenetre, int x, int y, int bouton = 1)
{
    return !outil("xdotool mousemove --window",
                  QStringList {fenetre}
                      + QStringLiteral("%1 %2 click %3").arg(x).arg(y).arg(bouton).split(QLatin1Char(' ')))
                .isNull();
}

bool touches(const char *noms)
{
    return !outil("xdotool key --delay 80", mots(noms)).isNull();
}

/** The program's icons: its mapped windows that are not top-level, the ones the tray host holds. */
QStringList icones()
{
    QStringList toutes = lignes("xdotool search --onlyvisible --class papirol2");
    for (const QString &id : lignes("xdotool search --onlyvisible --maxdepth 1 --class papirol2"))
        toutes.removeAll(id);
    return toutes;
}

/** The program's open menus: its mapped top-level windows that no window manager may handle. */
int menus()
{
    int n = 0;
    for (const QString &id : lignes("xdotool search --onlyvisible --maxdepth 1 --class papirol2"))
        n += lignes("xwininfo -id", {id}).contains(QLatin1String("  Override Redirect State: yes"));
    return n;
}

/** The program's single icon once it shows in the tray, ready for clicks. */
QString attendreIcone()
{
    QStringList trouvees;
    return attendre([&] { return (trouvees = icones()).size() == 1; }) ? trouvees.first() : QString();
}

/** Opens the context menu, ready for keys. */
bool ouvrirMenu(const QString &icone)
{
    if (!cliquer(icone, 11, 19, 3) || !attendre([] { return menus() == 1; }))
        return false;
    // The popup grabs the keyboard right after it maps; keys sent before would go elsewhere.
    QTest::qWait(300);
    return true;
}

/** Picks an entry of the context menu with the keyboard, as a user does. */
bool choisirDansMenu(const QString &icone, const char *cles)
{
    return ouvrirMenu(icone) && touches(cles) && attendre([] { return menus() == 0; });
}

/** Waits until the desktop shows one of these colours other than sauf where no window goes (near the
 * bottom-right); its index, or -1 when none came in time. */
int couleurAffichee(const QList<QColor> &couleurs, int sauf = -1, int delai = delaiMax)
{
    int i = -1;
    const auto vue = [&] {
        const QImage racine = captureRacine();
        for (i = 0; !racine.isNull() && i < couleurs.size(); ++i) {
            if (procheDe(racine.pixelColor(racine.width() - 20, racine.height() - 20), couleurs.at(i)))
                return i != sauf;
        }
        return false;
    };
    return QTest::qWaitFor(vue, delai) ? i : -1;
}

/** Settings in that folder with these options and, with colours, one selected location: a folder of solid
 * pictures of those colours (and no other) beside them. */
bool ecrireIni(const QString &dossier, bool actif, const QList<QColor> &couleurs = {}, int timer = 600)
{
    const QString images = dossier + QStringLiteral("/images");
    QString texte = QStringLiteral("[Options]\nactive=%1\ntimer=%2\n")
                        .arg(QString::fromLatin1(actif ? "true" : "false"))
                        .arg(timer);
    if (!couleurs.isEmpty())
        texte += QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(images);
    bool fait = QDir(images).removeRecursively() && QDir().mkpath(images);
    for (int i = 0; fait && i < couleurs.size(); ++i)
        fait = imageUnie(couleurs.at(i), {160, 120}).save(QStringLiteral("%1/%2.jpg").arg(images).arg(i));
    QFile f(dossier + QStringLiteral("/Papirol2.ini"));
    return fait && f.open(QIODevice::WriteOnly) && f.write(texte.toUtf8()) > 0;
}

bool sortiAvecSucces(QProcess &p)
{
    return p.waitForFinished(delaiMax) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

/** Starts an X server with no tray host and points DISPLAY to it. */
bool autreEcran(QProcess &xvfb)
{
    // -displayfd 1: the server prints its display number once it accepts clients.
    const QByteArray numero = premiereLigne(xvfb, QStringLiteral("Xvfb"),
                                            mots("-displayfd 1 -screen 0 640x480x24 -nolisten tcp -noreset"));
    return !numero.isEmpty() && qputenv("DISPLAY", ':' + numero);
}

/** A session bus of its own, configured so (activation, eavesdropping) or, without one, as any session's;
 * its address, empty when it did not start. */
QString busPrive(QProcess &daemon, const QString &configuration = {})
{
    return QString::fromLatin1(
        premiereLigne(daemon, QStringLiteral("dbus-daemon"),
                      mots("--nofork --print-address=1")
                          << (configuration.isEmpty() ? QStringLiteral("--session")
                                                      : QStringLiteral("--config-file=") + configuration)));
}

// A line run in a folder of its own (bytes: a name need not be UTF-8) with that environment ("NOM=valeur",
// "NOM" unset, "@" the test's folder): its exit code (-1: still running, then told to quit), a French word on
// stdout for 0, else on stderr, the other empty, and a file of the test's folder there or ("!") not.
struct Ligne
{
    const char *nom, *ligne, *env, *ici;
    int code;
    const char *texte, *fichier;
};
#define SANS_ECRAN "DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM "
#define ENTREE "config/autostart/papirol2.desktop"
// clang-format off
constexpr Ligne lesCas[] = {
    {"changer", "--changer", "", "seul", 1, "aucune copie", ""},
    {"aide", "--help", "", "seul", 0, "--changer", ""},
    {"inconnue", "--changr", "", "seul", 2, "Utilisation", ""},
    {"deux commandes", "--changer --quitter", "", "seul", 2, "Utilisation", ""},
    {"un fichier", "image.jpg", "", "seul", 2, "Utilisation", ""},
    {"au démarrage peut-être", "--au-demarrage peut-etre", "", "seul", 2, "Utilisation", ""},
    {"inconnue après une de Qt", "-style=fusion --changr", "", "seul", 2, "Utilisation", ""},
    {"commande et option de Qt", "--changer -style=fusion", "", "seul", 2, "Utilisation", ""},
    {"-style=fusion", "-style=fusion", "", "seul", -1, "", ""},
    {"-platform xcb", "-platform xcb", "", "seul", -1, "", ""},
    {"-geometry", "-geometry 100x100+0+0", "", "seul", -1, "", ""},
    {"aucun écran", "", SANS_ECRAN, "seul", 1, "session graphique", ""},
    {"xcb sans écran", "", SANS_ECRAN "QT_QPA_PLATFORM=xcb", "seul", 1, "session graphique", ""},
    {"socket Wayland partie", "", SANS_ECRAN "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=parti", "seul", 1, "session graphique", ""},
    {"offscreen", "", SANS_ECRAN "QT_QPA_PLATFORM=offscreen", "seul", -1, "", ""},
    {"au démarrage", "--au-demarrage oui", "XDG_CONFIG_HOME=@/config", "avec espace \\ et $", 0, "démarrera", ENTREE},
    {"au démarrage, non", "--au-demarrage=non", "XDG_CONFIG_HOME=@/config", "seul", 0, "plus", "!" ENTREE},
    {"au démarrage, pas UTF-8", "--au-demarrage oui", "XDG_CONFIG_HOME=@/config", "pas\xff" "utf8", 1, "UTF-8", "!" ENTREE},
    {"au démarrage, illisible", "--au-demarrage oui", "XDG_CONFIG_HOME=@/Papirol2.ini", "seul", 1, "impossible", ""},
    {"XDG relatifs", "--au-demarrage oui", "HOME=@/maison XDG_CONFIG_HOME=relcfg XDG_RUNTIME_DIR=relrun "
     "XDG_CACHE_HOME=relcache XDG_DATA_HOME=reldata", "seul", 0, "maison/.config/autostart", "!seul/relcfg"},
};
// clang-format on
} // namespace

class TestBoutEnBout : public QObject
{
    Q_OBJECT

    QTemporaryDir travail;
    std::vector<std::unique_ptr<Processus>> programmes;

    QString dossier(const char *nom = nullptr) const
    {
        return nom ? travail.filePath(QString::fromUtf8(nom)) : travail.path();
    }

    /** A copy of the program working in that folder, so reading the settings file there; its outputs merged
     * unless it is given arguments. */
    QProcess &lancer(const QString &dossierDeTravail,
                     const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                     const QStringList &arguments = {})
    {
        programmes.push_back(std::make_unique<Processus>());
        QProcess &p = *programmes.back();
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dossierDeTravail);
        p.setProcessChannelMode(arguments.isEmpty() ? QProcess::MergedChannels : QProcess::SeparateChannels);
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE), arguments);
        return p;
    }

    /** papirol2 run with these arguments in that folder, to its end. */
    struct Sortie
    {
        int code = -1;
        QByteArray sortie, erreur;
    };
    Sortie commande(const QString &dossierDeTravail, const QStringList &arguments,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess &p = lancer(dossierDeTravail, env, arguments);
        if (!p.waitForFinished(delaiMax) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    /** Stops every copy started, showing what each logged when the case failed. */
    void arreterTout()
    {
        for (auto &p : programmes) {
            if (QTest::currentTestFailed())
                qInfo().noquote() << "program log:\n" << QString::fromUtf8(p->readAll());
        }
        programmes.clear();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(travail.isValid());
        QVERIFY2(QFile::exists(QStringLiteral(PAPIROL2_EXECUTABLE)), PAPIROL2_EXECUTABLE);
        // For the copies started: this X server, runtime and desktop settings of their own, their log.
        qputenv("PAPIROL2_BUREAU", "x11");
        qputenv("XDG_RUNTIME_DIR", travail.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dossier(".config").toUtf8());
        qputenv("QT_LOGGING_RULES", "papirol2.*=true");
    }

    void cleanup() { arreterTout(); }

    void uneSessionDUtilisateur()
    {
        const QList<QColor> couleurs {rouge, vert, bleu};
        QVERIFY(ecrireIni(dossier(), true, couleurs));
        QProcess &p = lancer(dossier());

        // The stored "on" shows a picture at start.
        const int premiere = couleurAffichee(couleurs);
        QVERIFY(premiere >= 0);
        QString icone = attendreIcone();
        QVERIFY(!icone.isEmpty());
        // Three pictures, none twice in a cycle: a click must show another one.
        QVERIFY(cliquer(icone, 11, 19));
        QVERIFY(couleurAffichee(couleurs, premiere) >= 0);

        // Another settings folder is another program; a second start on the same one leaves at once.
        QVERIFY(ecrireIni(dossier("autre"), false));
        QProcess &autre = lancer(dossier("autre"));
        QTRY_COMPARE_WITH_TIMEOUT(icones().size(), 2, delaiMax);
        QVERIFY(sortiAvecSucces(lancer(dossier())));
        QCOMPARE(icones().size(), 2);

        // "Quitter" is the last entry: that copy ends well and its icon leaves, the other stays.
        QVERIFY(choisirDansMenu(icone, "Up Return"));
        QVERIFY(sortiAvecSucces(p));
        icone = attendreIcone();
        QVERIFY(!icone.isEmpty());

        QCOMPARE(autre.state(), QProcess::Running);
    }

    // A logout's or a terminal's signal ends the program as "Quitter" does: exit 0, icon gone. On a session
    // bus whose daemon is stopped (it accepts connections and never answers): the icon and the picture come
    // all the same.
    void unSignalFinitCommeQuitter_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void unSignalFinitCommeQuitter()
    {
        QFETCH(int, signal);
        Processus daemon;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busPrive(daemon));
        QCOMPARE(kill(pid_t(daemon.processId()), SIGSTOP), 0);
        const auto reprise = qScopeGuard([&] { kill(pid_t(daemon.processId()), SIGCONT); });
        const QList<QColor> couleurs {rouge, vert};
        QVERIFY(ecrireIni(dossier(), true, couleurs));
        QProcess &p = lancer(dossier(), env);
        QVERIFY(!attendreIcone().isEmpty());
        QVERIFY(couleurAffichee(couleurs) >= 0);
        QCOMPARE(kill(pid_t(p.processId()), signal), 0);
        QVERIFY(sortiAvecSucces(p));
        QVERIFY(icones().isEmpty());
    }

    // With HOME unset the stores go to the home the password database gives, and without one nowhere that
    // lasts: never under "/". The database is a file of the test's own, read through nss_wrapper.
    void sansHome_data()
    {
        QTest::addColumn<bool>("dansLaBase");
        QTest::newRow("home de la base") << true;
        QTest::newRow("absent de la base") << false;
    }
    void sansHome()
    {
        QFETCH(bool, dansLaBase);
        const QString nss = QStringLiteral("/usr/lib/x86_64-linux-gnu/libnss_wrapper.so");
        if (!QFile::exists(nss))
            QSKIP("nss_wrapper is not installed");
        if (QFileInfo::exists(QStringLiteral("/.config/papirol2")))
            QSKIP("/.config/papirol2 exists already: a store put there could not be told apart");
        const QString maison = dossier("maison");
        QVERIFY(QDir(maison).removeRecursively() && QDir().mkpath(maison));
        QFile base(dossier("passwd"));
        QVERIFY(base.open(QIODevice::WriteOnly));
        const uint uid = getuid();
        base.write(QStringLiteral("moi:x:%1:%2::%3:/bin/sh\n")
                       .arg(dansLaBase ? uid : uid + 4242)
                       .arg(getgid())
                       .arg(maison)
                       .toUtf8());
        base.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *nom : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.remove(QString::fromLatin1(nom));
        env.insert(QStringLiteral("LD_PRELOAD"), nss);
        env.insert(QStringLiteral("NSS_WRAPPER_PASSWD"), base.fileName());
        env.insert(QStringLiteral("NSS_WRAPPER_GROUP"), QStringLiteral("/etc/group"));
        const QList<QColor> couleurs {rouge, vert};
        QVERIFY(ecrireIni(dossier(), true, couleurs));
        QProcess &p = lancer(dossier(), env);
        // The last picture shown is stored once it shows.
        QVERIFY(couleurAffichee(couleurs) >= 0);
        const QString memoire = maison + QStringLiteral("/.config/papirol2/rotation.ini");
        if (dansLaBase)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(memoire), delaiMax);
        else
            QTest::qWait(delaiAbsence);
        p.terminate();
        QVERIFY(sortiAvecSucces(p));
        const bool aLaRacine = QFileInfo::exists(QStringLiteral("/.config/papirol2"));
        if (aLaRacine)
            QDir(QStringLiteral("/.config/papirol2")).removeRecursively();
        QVERIFY(!aLaRacine);
        QCOMPARE(QFile::exists(memoire), dansLaBase);
    }

    // Each command does what its tray menu entry does, stored state included, and ends once taken.
    void lesCommandes_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("actifAvant");
        QTest::addColumn<bool>("actifApres");
        QTest::newRow("activer") << QStringLiteral("--activer") << false << true;
        QTest::newRow("désactiver") << QStringLiteral("--desactiver") << true << false;
        QTest::newRow("quitter") << QStringLiteral("--quitter") << true << true;
    }
    void lesCommandes()
    {
        QFETCH(QString, option);
        QFETCH(bool, actifAvant);
        QFETCH(bool, actifApres);
        // No picture left on the root by an earlier case.
        QVERIFY(!outil("xsetroot -solid black").isNull());
        const QList<QColor> couleurs {rouge, vert, bleu};
        QVERIFY(ecrireIni(dossier(), actifAvant, couleurs));
        QProcess &p = lancer(dossier());
        QVERIFY(!attendreIcone().isEmpty());
        const int avant = actifAvant ? couleurAffichee(couleurs) : -1;
        const Sortie s = commande(dossier(), {option});
        QCOMPARE(s.code, 0);
        QVERIFY(s.erreur.isEmpty());
        const QSettings ini(dossier("Papirol2.ini"), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Options/active")).toBool(), actifApres);
        if (option == QLatin1String("--quitter")) {
            // Answered once the process is exiting: the kernel closes its files before it leaves its exit
            // status.
            const auto parti = [pid = p.processId()] {
                QFile etat(QStringLiteral("/proc/%1/stat").arg(pid));
                return !etat.open(QIODevice::ReadOnly) || etat.readAll().contains(") Z ");
            };
            QTRY_VERIFY_WITH_TIMEOUT(parti(), 2000);
            QVERIFY(sortiAvecSucces(p));
            QVERIFY(icones().isEmpty());
        } else if (actifApres) {
            QVERIFY(couleurAffichee(couleurs, avant) >= 0);
        }
    }

    // "Quitter" while the desktop still draws the picture "Changer" asked for, at several points of a drawing
    // that takes a while (a large BMP: read whole, then scaled): the program ends with 0 all the same, and
    // soon.
    void quitterPendantUnDessin_data()
    {
        QTest::addColumn<int>("apresMs");
        for (int ms : {0, 100, 250})
            QTest::newRow(qPrintable(QStringLiteral("%1 ms").arg(ms))) << ms;
    }
    void quitterPendantUnDessin()
    {
        QFETCH(int, apresMs);
        QVERIFY(ecrireIni(dossier(), false, {rouge}));
        // The only picture, named .jpg for the location's pattern, read by its content.
        QVERIFY(imageUnie(vert, {6000, 4000}).save(dossier("images/0.jpg"), "BMP"));
        QProcess &p = lancer(dossier());
        QVERIFY(!attendreIcone().isEmpty());
        QCOMPARE(commande(dossier(), {QStringLiteral("--changer")}).code, 0);
        QTest::qWait(apresMs);
        QElapsedTimer chrono;
        chrono.start();
        QCOMPARE(commande(dossier(), {QStringLiteral("--quitter")}).code, 0);
        QVERIFY(sortiAvecSucces(p));
        QVERIFY2(chrono.elapsed() < 3000, qPrintable(QString::number(chrono.elapsed())));
    }

    void lesLignes_data()
    {
        QTest::addColumn<int>("i");
        for (int i = 0; i < int(std::size(lesCas)); ++i)
            QTest::newRow(lesCas[i].nom) << i;
    }
    void lesLignes()
    {
        QFETCH(int, i);
        const auto [nom, ligne, env, ici, code, texte, cible] = lesCas[i];
        const QString fichier = QString::fromUtf8(cible);
        QVERIFY(ecrireIni(dossier(), false));
        const QByteArray dossierLigne = QFile::encodeName(dossier()) + '/' + ici;
        QVERIFY(QDir().mkpath(dossier("seul"))
                && (mkdir(dossierLigne.constData(), 0700) == 0 || errno == EEXIST));
        QProcessEnvironment environnement = QProcessEnvironment::systemEnvironment();
        for (QString mot : QString::fromUtf8(env).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            mot.replace(QLatin1Char('@'), dossier());
            if (mot.contains(QLatin1Char('=')))
                environnement.insert(mot.section(QLatin1Char('='), 0, 0), mot.section(QLatin1Char('='), 1));
            else
                environnement.remove(mot);
        }
        programmes.push_back(std::make_unique<Processus>());
        QProcess &p = *programmes.back();
        p.setProcessEnvironment(environnement);
        p.setChildProcessModifier(
            [dossierLigne] { [[maybe_unused]] const int r = chdir(dossierLigne.constData()); });
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE),
                QString::fromUtf8(ligne).split(QLatin1Char(' '), Qt::SkipEmptyParts));
        if (code < 0) {
            QVERIFY(!p.waitForFinished(delaiAbsence));
            QCOMPARE(
                commande(QString::fromUtf8(dossierLigne), {QStringLiteral("--quitter")}, environnement).code,
                0);
        }
        QVERIFY(p.waitForFinished(delaiMax));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), qMax(code, 0));
        const QByteArray sortie = p.readAllStandardOutput(), erreur = p.readAllStandardError();
        if (code >= 0)
            QVERIFY2((code ? erreur : sortie).contains(texte) && (code ? sortie : erreur).isEmpty(),
                     (sortie + erreur).constData());
        if (code == 1)
            QCOMPARE(erreur.count('\n'), 1);
        if (!fichier.isEmpty())
            QCOMPARE(
                QFileInfo::exists(dossier(qPrintable(fichier.mid(fichier.startsWith(QLatin1Char('!')))))),
                !fichier.startsWith(QLatin1Char('!')));
        if (fichier == QLatin1String("config/autostart/papirol2.desktop")) {
            // desktop-file-validate takes it, and the session starts the program in that folder.
            const QString avis = outil("desktop-file-validate", {dossier(qPrintable(fichier))});
            QVERIFY2(!avis.isNull() && avis.isEmpty(), qPrintable(avis));
            QCOMPARE(QSettings(dossier(qPrintable(fichier)), QSettings::IniFormat)
                         .value(QStringLiteral("Desktop Entry/Path"))
                         .toString(),
                     QString::fromUtf8(dossierLigne));
        }
    }

    // The command socket taken away or replaced while the copy runs, or a folder in its place at start: a
    // command still reaches the copy.
    void leCanalRevient_data()
    {
        QTest::addColumn<QString>("quoi");
        for (const char *quoi : {"supprimé", "un fichier", "un dossier", "un dossier au départ"})
            QTest::newRow(quoi) << QString::fromUtf8(quoi);
    }
    void leCanalRevient()
    {
        QFETCH(QString, quoi);
        const QString chemin = cheminCanal(dossier("Papirol2.ini"));
        const auto remplacer = [&] {
            QDir(chemin).removeRecursively();
            QFile::remove(chemin);
            return quoi.contains(QLatin1String("dossier")) ? QDir().mkpath(chemin + QStringLiteral("/x"))
                : quoi == QLatin1String("un fichier")      ? QFile(chemin).open(QIODevice::WriteOnly)
                                                           : true;
        };
        QVERIFY(ecrireIni(dossier(), false));
        if (quoi.endsWith(QLatin1String("départ")))
            QVERIFY2(remplacer(), qPrintable(chemin));
        lancer(dossier());
        QVERIFY(!attendreIcone().isEmpty());
        if (!quoi.endsWith(QLatin1String("départ")))
            QVERIFY(remplacer());
        QCOMPARE(commande(dossier(), {QStringLiteral("--activer")}).code, 0);
        QCOMPARE(QSettings(dossier("Papirol2.ini"), QSettings::IniFormat)
                     .value(QStringLiteral("Options/active"))
                     .toBool(),
                 true);
    }

    // Clients that hold the channel silent, flood it or send a near word: the tray menu answers meanwhile, a
    // real command goes through, and each of them is answered or dropped.
    void desClientsHostiles()
    {
        const QList<QColor> couleurs {rouge, vert, bleu};
        QVERIFY(ecrireIni(dossier(), false, couleurs));
        QProcess &p = lancer(dossier());
        const QString icone = attendreIcone();
        QVERIFY(!icone.isEmpty());
        const QByteArray chemin = QFile::encodeName(cheminCanal(dossier("Papirol2.ini")));
        const auto client = [&](const QByteArray &envoi) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_un adresse {};
            adresse.sun_family = AF_UNIX;
            qstrncpy(adresse.sun_path, chemin.constData(), sizeof adresse.sun_path);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) != 0)
                return -1;
            [[maybe_unused]] const ssize_t n
                = send(fd, envoi.constData(), size_t(envoi.size()), MSG_NOSIGNAL);
            return fd;
        };
        const int muet = client({}), deluge = client(QByteArray(1 << 20, 'x')),
                  presque = client("changerr\n");
        QVERIFY(muet >= 0 && deluge >= 0 && presque >= 0);
        const auto fin = qScopeGuard([&] {
            for (const int fd : {muet, deluge, presque})
                close(fd);
        });
        QVERIFY(ouvrirMenu(icone));
        QVERIFY(touches("Escape") && attendre([] { return menus() == 0; }));
        QCOMPARE(commande(dossier(), {QStringLiteral("--changer")}).code, 0);
        QVERIFY(couleurAffichee(couleurs) >= 0);
        const auto reponse = [](int fd) {
            QByteArray lu;
            attendre([&] {
                char tampon[16];
                const ssize_t n = read(fd, tampon, sizeof tampon);
                lu.append(tampon, int(qMax<ssize_t>(n, 0)));
                return n == 0;
            });
            return lu;
        };
        QCOMPARE(reponse(presque), QByteArray("?\n"));
        QCOMPARE(reponse(muet), QByteArray());
        QCOMPARE(reponse(deluge), QByteArray());
        QCOMPARE(p.state(), QProcess::Running);
    }

    // No notification area a few seconds after start: the user is told once, by a real notification daemon
    // on a bus of the test's own, else on stderr; with a tray host, never. Without one, the rotation goes on,
    // and the icon comes once a tray host starts.
    void unAvisSansPlateau_data()
    {
        QTest::addColumn<bool>("plateau");
        QTest::addColumn<bool>("service");
        // Notify calls seen on the bus, answered or not; the line on stderr when none was answered.
        QTest::addColumn<int>("notifications");
        QTest::addColumn<bool>("surStderr");
        QTest::newRow("ni plateau ni service") << false << false << 1 << true;
        QTest::newRow("service sans plateau") << false << true << 1 << false;
        QTest::newRow("plateau") << true << true << 0 << false;
    }
    void unAvisSansPlateau()
    {
        QFETCH(bool, plateau);
        QFETCH(bool, service);
        QFETCH(int, notifications);
        QFETCH(bool, surStderr);
        Processus xvfb, daemon, dunst, moniteur, trayer;
        const QByteArray ecranPrincipal = qgetenv("DISPLAY");
        // The program goes while its X server is still there.
        const auto fin = qScopeGuard([&] {
            arreterTout();
            qputenv("DISPLAY", ecranPrincipal);
        });
        if (!plateau)
            QVERIFY(autreEcran(xvfb));
        // A bus that starts no service on demand: the notification daemon is there only when the row says so.
        QFile config(dossier("bus-avis.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            "<busconfig><type>session</type><listen>unix:tmpdir=" + QFile::encodeName(dossier())
            + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString adresse = busPrive(daemon, config.fileName());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), adresse);
        moniteur.setProcessEnvironment(env);
        moniteur.start(QStringLiteral("dbus-monitor"),
                       {QStringLiteral("interface='org.freedesktop.Notifications',member='Notify'")});
        if (service) {
            dunst.setProcessEnvironment(env);
            dunst.start(QStringLiteral("dunst"), {});
            QVERIFY(!outil("gdbus wait --timeout 15 --address",
                           {adresse, QStringLiteral("org.freedesktop.Notifications")})
                         .isNull());
        }
        const QList<QColor> couleurs {rouge, vert, bleu};
        // A one-second interval: rotation without a tray is seen within a few ticks.
        QVERIFY(ecrireIni(dossier(), !plateau, couleurs, 1));
        QProcess &p = lancer(dossier(), env);
        QByteArray vu, journal;
        const auto compter = [&] {
            vu += moniteur.readAllStandardOutput();
            journal += p.readAll();
            return vu.count("member=Notify");
        };
        if (notifications > 0 || surStderr)
            QVERIFY(attendre([&] {
                return compter() >= notifications && (!surStderr || journal.contains("tourne sans icône"));
            }));
        // Said after about five seconds: given as long again to come twice, or at all.
        QTest::qWait(notifications > 0 || surStderr ? delaiAbsence : 5000 + delaiAbsence);
        QCOMPARE(compter(), notifications);
        QCOMPARE(journal.count("tourne sans icône"), int(surStderr));
        if (!plateau) {
            const int premiere = couleurAffichee(couleurs);
            QVERIFY(premiere >= 0);
            QVERIFY(couleurAffichee(couleurs, premiere) >= 0);
            trayer.start(QStringLiteral("trayer"),
                         mots("--edge top --align right --widthtype pixel --width 200 "
                              "--height 40 --SetDockType true --transparent false"));
            QVERIFY(!attendreIcone().isEmpty());
        }
        QCOMPARE(p.state(), QProcess::Running);
    }
};

QTEST_MAIN(TestBoutEnBout)
#include "bouttenbout.moc"
