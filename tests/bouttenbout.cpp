// The built program driven as a user drives it: real X server, real tray host (its icons found with xdotool),
// its command line. What the user sees is read back from the screen and from the settings file; the menu is
// judged over dbusmenu by plateau-sni.sh.
#include "commun.h"
#include "commun/chemins.h"

#include <QDir>
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
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// Generous: a loaded machine must slow the test down, not fail it.
constexpr int delaiMax = 15000;
// How long a test waits to see that something does not happen.
constexpr int delaiAbsence = 1500;

const QList<QColor> couleurs {QColor(200, 30, 30), QColor(30, 180, 60), QColor(40, 60, 210)};

QStringList mots(const QString &texte)
{
    return texte.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

/** A child process stopped with its owner: asked first, then (by QProcess) forced. */
struct Processus : QProcess
{
    ~Processus() override
    {
        terminate();
        waitForFinished(5000);
    }
};

/** The program's icons: its mapped windows that are not top-level (its menus are), the ones the tray holds.
 */
QStringList icones()
{
    const auto fenetres = [](const char *profondeur) {
        return sortieDe(QStringLiteral("xdotool"),
                        mots(QStringLiteral("search --onlyvisible %1 --class papirol2")
                                 .arg(QLatin1String(profondeur))))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    QStringList toutes = fenetres("");
    for (const QString &id : fenetres("--maxdepth 1"))
        toutes.removeAll(id);
    return toutes;
}

/** Whether the program's single icon shows in the tray in time. */
bool iconeVue()
{
    return QTest::qWaitFor([] { return icones().size() == 1; }, delaiMax);
}

/** Waits until the desktop shows one of the colours other than sauf where no window goes (near the
 * bottom-right); its index, or -1 when none came in time. */
int couleurAffichee(int sauf = -1)
{
    int i = -1;
    [[maybe_unused]] const bool vue = QTest::qWaitFor(
        [&] {
            const QImage racine = captureRacine();
            i = -1;
            for (int k = 0; !racine.isNull() && k < couleurs.size(); ++k)
                if (procheDe(racine.pixelColor(racine.width() - 20, racine.height() - 20), couleurs.at(k)))
                    i = k;
            return i >= 0 && i != sauf;
        },
        delaiMax);
    return i == sauf ? -1 : i;
}

/** Settings in that folder with these options and, with n colours, one selected location: a folder of solid
 * pictures of the first n colours beside them. */
bool ecrireIni(const QString &dossier, bool actif, int n = 0, int timer = 600)
{
    const QString images = dossier + QStringLiteral("/images");
    QString texte = QStringLiteral("[Options]\nactive=%1\ntimer=%2\n")
                        .arg(QLatin1String(actif ? "true" : "false"))
                        .arg(timer);
    if (n)
        texte += QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(images);
    bool fait = QDir(images).removeRecursively() && QDir().mkpath(images);
    for (int i = 0; fait && i < n; ++i)
        fait = imageUnie(couleurs.at(i), {160, 120}).save(QStringLiteral("%1/%2.jpg").arg(images).arg(i));
    QFile f(dossier + QStringLiteral("/Papirol2.ini"));
    return fait && f.open(QIODevice::WriteOnly) && f.write(texte.toUtf8()) > 0;
}

bool sortiAvecSucces(QProcess &p)
{
    return (p.state() == QProcess::NotRunning || p.waitForFinished(delaiMax))
        && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

/** A client of the command socket at chemin that sends envoi and stays; its descriptor. */
int client(const QString &chemin, const QByteArray &envoi)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un adresse {AF_UNIX, {}};
    qstrncpy(adresse.sun_path, QFile::encodeName(chemin).constData(), sizeof adresse.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) != 0)
        return -1;
    [[maybe_unused]] const ssize_t n = send(fd, envoi.constData(), size_t(envoi.size()), MSG_NOSIGNAL);
    return fd;
}

/** Everything a client is sent until the copy closes it. */
QByteArray reponse(int fd)
{
    QByteArray lu;
    char tampon[16];
    ssize_t n = -1;
    while (QTest::qWaitFor([&] { return (n = read(fd, tampon, sizeof tampon)) >= 0; }, delaiMax) && n > 0)
        lu.append(tampon, int(n));
    close(fd);
    return lu;
}

// A line run in a folder of its own (bytes: a name need not be UTF-8) with that environment ("NOM=valeur",
// "NOM" unset, "@" the test's folder): its exit code (-1: still running, then told to quit), a French word on
// stdout for 0, else on stderr, the other empty, and a file (under the test's folder unless absolute) there
// or ("!") not. A user's home comes from nss_wrapper's password file when HOME is unset.
struct Ligne
{
    const char *nom, *ligne, *env, *ici;
    int code;
    const char *texte, *fichier;
};
#define SANS_ECRAN "DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM "
#define ENTREE "config/autostart/papirol2.desktop"
#define SANS_HOME                                                                                            \
    "HOME XDG_CONFIG_HOME XDG_CACHE_HOME QT_LOGGING_RULES "                                                  \
    "LD_PRELOAD=/usr/lib/x86_64-linux-gnu/libnss_wrapper.so "                                                \
    "NSS_WRAPPER_GROUP=/etc/group NSS_WRAPPER_PASSWD=@/"
// A GSettings desktop whose schemas are the stand-ins of initTestCase, and no bus: GIO aborts the process on
// a schema, a path or a key that is not there, xfconf waits for a bus.
#define SCHEMAS_FACTICES                                                                                     \
    "GSETTINGS_BACKEND=keyfile GSETTINGS_SCHEMA_DIR=@/schemas XDG_DATA_DIRS=@/vide XDG_DATA_HOME=@/vide "    \
    "DBUS_SESSION_BUS_ADDRESS=disabled: PAPIROL2_BUREAU="
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
    {"options de Qt", "-style=fusion -platform xcb -geometry 100x100+0+0", "", "seul", -1, "", ""},
    {"aucun écran", "", SANS_ECRAN, "seul", 1, "session graphique", ""},
    {"xcb sans écran", "", SANS_ECRAN "QT_QPA_PLATFORM=xcb", "seul", 1, "session graphique", ""},
    {"socket Wayland partie", "", SANS_ECRAN "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=parti", "seul", 1, "session graphique", ""},
    {"offscreen", "", SANS_ECRAN "QT_QPA_PLATFORM=offscreen", "seul", -1, "", ""},
    {"au démarrage", "--au-demarrage oui", "XDG_CONFIG_HOME=@/config", "avec espace \\ et $", 0, "démarrera", ENTREE},
    {"au démarrage, non", "--au-demarrage=non", "XDG_CONFIG_HOME=@/config", "seul", 0, "plus", "!" ENTREE},
    {"au démarrage, pas UTF-8", "--au-demarrage oui", "XDG_CONFIG_HOME=@/config", "pas\xff" "utf8", 1, "UTF-8", "!" ENTREE},
    {"au démarrage, illisible", "--au-demarrage oui", "XDG_CONFIG_HOME=@/Papirol2.ini", "seul", 1, "impossible", ""},
    {"XDG relatifs", "--au-demarrage oui", "HOME=@/relatifs XDG_CONFIG_HOME=relcfg XDG_RUNTIME_DIR=relrun "
     "XDG_CACHE_HOME=relcache XDG_DATA_HOME=reldata", "seul", 0, "relatifs/.config/autostart", "!seul/relcfg"},
    {"sans HOME", "--au-demarrage oui", SANS_HOME "passwd", "seul", 0, "maison/.config", "maison/.config/autostart/papirol2.desktop"},
    {"GNOME sans schéma", "", SCHEMAS_FACTICES "gnome", "seul", -1, "", ""},
    {"Cinnamon sans ces clés", "", SCHEMAS_FACTICES "cinnamon", "seul", -1, "", ""},
    {"MATE sans chemin", "", SCHEMAS_FACTICES "mate", "seul", -1, "", ""},
    {"XFCE sans bus", "", SCHEMAS_FACTICES "xfce", "seul", -1, "", ""},
    {"sans HOME ni maison", "--au-demarrage oui", SANS_HOME "passwd-sans", "seul", 0, "démarrera", "!/.config/autostart/papirol2.desktop"},
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

    /** A copy of the program with these arguments in that folder; its outputs merged unless it is given
     * arguments. */
    QProcess &lancer(const QString &ici,
                     const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                     const QStringList &arguments = {})
    {
        programmes.push_back(std::make_unique<Processus>());
        QProcess &p = *programmes.back();
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(ici);
        p.setProcessChannelMode(arguments.isEmpty() ? QProcess::MergedChannels : QProcess::SeparateChannels);
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE), arguments);
        return p;
    }

    /** The exit code of papirol2 run to its end with that command in that folder; -1 when it did not end
     * well. */
    int commande(const QString &ici, const char *option,
                 const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess &p = lancer(ici, env, {QString::fromUtf8(option)});
        return p.waitForFinished(delaiMax) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    /** Stops every copy started, showing what each logged when the case failed. */
    void arreterTout()
    {
        for (auto &p : programmes)
            if (QTest::currentTestFailed())
                qInfo().noquote() << "program log:\n" << QString::fromUtf8(p->readAll());
        programmes.clear();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(QStringLiteral(PAPIROL2_EXECUTABLE)), PAPIROL2_EXECUTABLE);
        // For the copies started: this X server, runtime and desktop settings of their own, their log.
        qputenv("PAPIROL2_BUREAU", "x11");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dossier()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dossier(".config")));
        qputenv("QT_LOGGING_RULES", "papirol2.*=true");
        const auto ecrire = [this](const char *nom, const QString &texte) {
            QFile f(dossier(nom));
            return f.open(QIODevice::WriteOnly) && f.write(texte.toUtf8()) > 0;
        };
        QVERIFY(QDir().mkpath(dossier("maison")) && QDir().mkpath(dossier("schemas")));
        // The password database of the rows without HOME: this user with a home, then a user of none.
        const QString moi = QStringLiteral("moi:x:%1:%2::%3:/bin/sh\n");
        QVERIFY(ecrire("passwd", moi.arg(getuid()).arg(getgid()).arg(dossier("maison"))));
        QVERIFY(ecrire("passwd-sans", moi.arg(getuid() + 4242).arg(getgid()).arg(dossier("maison"))));
        // Cinnamon's schema without the keys, MATE's without a path; GNOME's is missing.
        QVERIFY(ecrire("schemas/factices.gschema.xml",
                       QStringLiteral("<schemalist><schema id='org.cinnamon.desktop.background' "
                                      "path='/org/cinnamon/desktop/background/'><key name='autre' type='s'>"
                                      "<default>''</default></key></schema><schema id='org.mate.background'>"
                                      "<key name='picture-options' type='s'><default>''</default></key>"
                                      "</schema></schemalist>")));
        QCOMPARE(QProcess::execute(QStringLiteral("glib-compile-schemas"), {dossier("schemas")}), 0);
    }

    void cleanup() { arreterTout(); }

    // Two copies, and clients of the command socket that hold it silent, flood it or send a near word: each
    // of them is answered or dropped while the program goes on.
    void uneSessionDUtilisateur()
    {
        QVERIFY(ecrireIni(dossier(), true, 2));
        QProcess &p = lancer(dossier());
        // The stored "on" shows a picture at start.
        const int premiere = couleurAffichee();
        QVERIFY(premiere >= 0 && iconeVue());
        const QString canal = cheminCanal(dossier("Papirol2.ini"));
        const int muet = client(canal, {}), deluge = client(canal, QByteArray(1 << 20, 'x')),
                  presque = client(canal, "changerr\n");
        QVERIFY(muet >= 0 && deluge >= 0 && presque >= 0);
        // Two pictures, none twice in a cycle: a change must show the other one.
        QCOMPARE(commande(dossier(), "--changer"), 0);
        QVERIFY(couleurAffichee(premiere) >= 0);
        QCOMPARE(reponse(presque), QByteArray("?\n"));
        QCOMPARE(reponse(muet), QByteArray());
        QCOMPARE(reponse(deluge), QByteArray());

        // Another settings folder is another program; a second start on the same one leaves at once.
        QVERIFY(ecrireIni(dossier("autre"), false));
        QProcess &autre = lancer(dossier("autre"));
        QTRY_COMPARE_WITH_TIMEOUT(icones().size(), 2, delaiMax);
        QVERIFY(sortiAvecSucces(lancer(dossier())));
        QCOMPARE(icones().size(), 2);
        QCOMPARE(commande(dossier(), "--quitter"), 0);
        QVERIFY(sortiAvecSucces(p) && iconeVue());
        QCOMPARE(autre.state(), QProcess::Running);

        // The picture shown last before a restart is never the first one after it.
        for (int fois = 0; fois < 4; ++fois) {
            const int derniere = couleurAffichee();
            QProcess &copie = lancer(dossier());
            QVERIFY(couleurAffichee(derniere) >= 0);
            QCOMPARE(commande(dossier(), "--quitter"), 0);
            QVERIFY(sortiAvecSucces(copie));
        }
    }

    // Each command does what its tray menu entry does, stored state included, and ends once taken; a logout's
    // or a terminal's signal ends the program as "Quitter" does. All on a session bus whose daemon is stopped
    // (it takes connections and never answers); the command socket taken away or replaced while the copy
    // runs, or a folder in its place at start, and the command still reaches the copy.
    void lesCommandes_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("actifAvant");
        QTest::addColumn<bool>("actifApres");
        QTest::addColumn<QString>("canal");
        QTest::newRow("activer") << "--activer" << 0 << false << true << "";
        QTest::newRow("désactiver") << "--desactiver" << 0 << true << false << "";
        QTest::newRow("quitter") << "--quitter" << 0 << true << true << "";
        for (const int signal : {SIGTERM, SIGHUP, SIGINT})
            QTest::addRow("%s", strsignal(signal)) << "" << signal << true << true << "";
        for (const char *canal : {"supprimé", "un fichier", "un dossier", "un dossier au départ"})
            QTest::newRow(canal) << "--activer" << 0 << false << true << canal;
    }
    void lesCommandes()
    {
        QFETCH(QString, option);
        QFETCH(int, signal);
        QFETCH(bool, actifAvant);
        QFETCH(bool, actifApres);
        QFETCH(QString, canal);
        Processus daemon;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(
            QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
            QString::fromLatin1(premiereLigne(daemon, QStringLiteral("dbus-daemon"),
                                              mots(QStringLiteral("--nofork --print-address=1 --session")))));
        QCOMPARE(kill(pid_t(daemon.processId()), SIGSTOP), 0);
        const auto reprise = qScopeGuard([&] { kill(pid_t(daemon.processId()), SIGCONT); });
        // No picture left on the root by an earlier case.
        QCOMPARE(QProcess::execute(QStringLiteral("xsetroot"), mots(QStringLiteral("-solid black"))), 0);
        QVERIFY(ecrireIni(dossier(), actifAvant, 3));
        const QString chemin = cheminCanal(dossier("Papirol2.ini"));
        // The copy may put its socket back before the stand-in is made: it is only quicker then.
        const auto remplacer = [&] {
            QDir(chemin).removeRecursively();
            QFile::remove(chemin);
            if (canal.contains(QLatin1String("dossier")))
                QDir().mkpath(chemin + QStringLiteral("/x"));
            else if (canal == QLatin1String("un fichier"))
                QFile(chemin).open(QIODevice::WriteOnly);
        };
        const bool auDepart = canal.endsWith(QLatin1String("départ"));
        if (auDepart)
            remplacer();
        QProcess &p = lancer(dossier(), env);
        QVERIFY(iconeVue());
        const int avant = actifAvant ? couleurAffichee() : -1;
        if (!canal.isEmpty() && !auDepart)
            remplacer();
        if (signal)
            QCOMPARE(kill(pid_t(p.processId()), signal), 0);
        else
            QCOMPARE(commande(dossier(), qPrintable(option)), 0);
        const QSettings ini(dossier("Papirol2.ini"), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Options/active")).toBool(), actifApres);
        if (signal || option == QLatin1String("--quitter")) {
            // Answered once the process is exiting: the kernel closes its files before it leaves its exit
            // status.
            const auto parti = [pid = p.processId()] {
                QFile etat(QStringLiteral("/proc/%1/stat").arg(pid));
                return !etat.open(QIODevice::ReadOnly) || etat.readAll().contains(") Z ");
            };
            QTRY_VERIFY_WITH_TIMEOUT(parti(), 2000);
            QVERIFY(sortiAvecSucces(p) && icones().isEmpty());
        } else if (actifApres) {
            QVERIFY(couleurAffichee(avant) >= 0);
        }
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
        QVERIFY(ecrireIni(dossier(), false));
        const QByteArray dossierLigne = QFile::encodeName(dossier()) + '/' + ici;
        QVERIFY(QDir().mkpath(dossier("seul")));
        QVERIFY(mkdir(dossierLigne.constData(), 0700) == 0 || errno == EEXIST);
        QProcessEnvironment environnement = QProcessEnvironment::systemEnvironment();
        for (QString mot : mots(QString::fromUtf8(env))) {
            mot.replace(QLatin1Char('@'), dossier());
            if (mot.contains(QLatin1Char('=')))
                environnement.insert(mot.section(QLatin1Char('='), 0, 0), mot.section(QLatin1Char('='), 1));
            else
                environnement.remove(mot);
        }
        Processus p;
        p.setProcessEnvironment(environnement);
        p.setChildProcessModifier(
            [dossierLigne] { [[maybe_unused]] const int r = chdir(dossierLigne.constData()); });
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE), mots(QString::fromUtf8(ligne)));
        if (code < 0) {
            QVERIFY(!p.waitForFinished(delaiAbsence));
            QCOMPARE(commande(QString::fromUtf8(dossierLigne), "--quitter", environnement), 0);
        }
        QVERIFY(p.waitForFinished(delaiMax));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), qMax(code, 0));
        const QByteArray sortie = p.readAllStandardOutput(), erreur = p.readAllStandardError();
        QVERIFY2(code < 0 || ((code ? erreur : sortie).contains(texte) && (code ? sortie : erreur).isEmpty()),
                 (sortie + erreur).constData());
        QVERIFY(code != 1 || erreur.count('\n') == 1);
        const QString fichier = QDir(dossier()).filePath(QString::fromUtf8(cible + (cible[0] == '!')));
        if (cible[0])
            QCOMPARE(QFileInfo::exists(fichier), cible[0] != '!');
        if (qstrcmp(cible, ENTREE) == 0) {
            // desktop-file-validate takes it, and the session starts the program in that folder.
            const QString avis = sortieDe(QStringLiteral("desktop-file-validate"), {fichier});
            QVERIFY2(!avis.isNull() && avis.isEmpty(), qPrintable(avis));
            QCOMPARE(QSettings(fichier, QSettings::IniFormat)
                         .value(QStringLiteral("Desktop Entry/Path"))
                         .toString(),
                     QString::fromUtf8(dossierLigne));
        }
    }

    // No notification area a few seconds after start: the user is told once, on stderr; with a tray host,
    // never. Without one, the rotation goes on, and the icon comes once a tray host starts.
    void unAvisSansPlateau_data()
    {
        QTest::addColumn<bool>("plateau");
        QTest::newRow("sans plateau") << false;
        QTest::newRow("plateau") << true;
    }
    void unAvisSansPlateau()
    {
        QFETCH(bool, plateau);
        Processus xvfb, trayer;
        const QByteArray ecranPrincipal = qgetenv("DISPLAY");
        // The program goes while its X server is still there.
        const auto fin = qScopeGuard([&] {
            arreterTout();
            qputenv("DISPLAY", ecranPrincipal);
        });
        const QStringList arguments = mots(QStringLiteral("-displayfd 1 -screen 0 640x480x24 -noreset"));
        QVERIFY(plateau || qputenv("DISPLAY", ':' + premiereLigne(xvfb, QStringLiteral("Xvfb"), arguments)));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        // A one-second interval: rotation without a tray is seen within a few ticks.
        QVERIFY(ecrireIni(dossier(), !plateau, 3, 1));
        QProcess &p = lancer(dossier(), env);
        QByteArray journal;
        const auto dit = [&] {
            return int((journal += p.readAll()).count("tourne sans icône"));
        };
        // Said after about five seconds: given as long again to come twice, or at all.
        QVERIFY(plateau || QTest::qWaitFor([&] { return dit() > 0; }, delaiMax));
        QTest::qWait(plateau ? 5000 + delaiAbsence : delaiAbsence);
        QCOMPARE(dit(), int(!plateau));
        if (!plateau) {
            const int premiere = couleurAffichee();
            QVERIFY(premiere >= 0 && couleurAffichee(premiere) >= 0);
            trayer.start(QStringLiteral("trayer"),
                         mots(QStringLiteral("--edge top --align right --widthtype pixel --width 200 "
                                             "--height 40 --SetDockType true --transparent false")));
            QVERIFY(iconeVue());
        }
        QCOMPARE(p.state(), QProcess::Running);
    }
};

QTEST_MAIN(TestBoutEnBout)
#include "bouttenbout.moc"
