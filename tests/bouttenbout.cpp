// The built program driven as a user drives it: real X server, real tray host, its command line; what the
// user sees read back from the screen and the settings file (the menu: plateau-sni.sh).
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
                        QStringLiteral("search --onlyvisible %1 --class papirol2")
                            .arg(QLatin1String(profondeur))
                            .split(u' ', Qt::SkipEmptyParts))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    QStringList toutes = fenetres("");
    for (const QString &id : fenetres("--maxdepth 1"))
        toutes.removeAll(id);
    return toutes;
}

/** Waits until the desktop shows one of the colours other than sauf where no window goes (near the
 * bottom-right); its index, or -1 when none came in time. */
int couleurAffichee(int sauf = -1)
{
    int i = -1;
    const auto vue = [&] {
        const QImage r = captureRacine();
        for (i = couleurs.size() - 1;
             i >= 0 && !procheDe(r.pixelColor(r.width() - 20, r.height() - 20), couleurs.at(i));)
            --i;
        return i >= 0 && i != sauf;
    };
    return QTest::qWaitFor(vue, delaiMax) ? i : -1;
}

/** Settings in that folder with these options and, with n colours, one selected location: a folder of solid
 * pictures of the first n colours beside them. */
bool ecrireIni(const QString &dossier, bool actif, int n = 0)
{
    const QString images = dossier + QStringLiteral("/images");
    QString texte = QStringLiteral("[Options]\nactive=%1\n").arg(QLatin1String(actif ? "true" : "false"));
    if (n)
        texte += QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(images);
    bool fait = QDir(images).removeRecursively() && QDir().mkpath(images);
    for (int i = 0; fait && i < n; ++i)
        fait = imageUnie(couleurs.at(i), {160, 120}).save(QStringLiteral("%1/%2.jpg").arg(images).arg(i));
    QFile f(dossier + QStringLiteral("/Papirol2.ini"));
    return fait && f.open(QIODevice::WriteOnly) && f.write(texte.toUtf8()) > 0;
}

/** The exit code of a copy run to its end; -1 when it did not end well. */
int fin(QProcess &p)
{
    const bool fini = p.state() == QProcess::NotRunning || p.waitForFinished(delaiMax);
    return fini && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

/** A client of the command socket at chemin that sends envoi and stays; its descriptor, or -1. */
int client(const QString &chemin, const QByteArray &envoi)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un adresse {AF_UNIX, {}};
    qstrncpy(adresse.sun_path, QFile::encodeName(chemin).constData(), sizeof adresse.sun_path);
    const bool relie = ::connect(fd, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) == 0;
    return relie && send(fd, envoi.constData(), size_t(envoi.size()), MSG_NOSIGNAL) >= 0 ? fd : -1;
}

// A line run in a folder of its own (bytes: a name need not be UTF-8) with that environment ("NOM=valeur",
// "NOM" unset, "@" the test's folder): its exit code (-1: still running, then told to quit), a French word on
// stdout for 0, else on stderr, the other empty, and a file under the test's folder there or ("!") not.
struct Ligne
{
    const char *nom, *ligne, *env, *ici;
    int code;
    const char *texte, *fichier;
};
#define SANS_ECRAN "DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM "
#define ENTREE "config/autostart/papirol2.desktop"
// A desktop with no schema and no bus: GIO aborts the process on a schema that is not there, xfconf waits
// for a bus.
#define SANS_SCHEMA                                                                                          \
    "GSETTINGS_BACKEND=keyfile GSETTINGS_SCHEMA_DIR=@/vide XDG_DATA_DIRS=@/vide XDG_DATA_HOME=@/vide "       \
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
    {"GNOME sans schéma", "", SANS_SCHEMA "gnome", "seul", -1, "", ""},
    {"XFCE sans bus", "", SANS_SCHEMA "xfce", "seul", -1, "", ""},
};
// clang-format on
} // namespace

class TestBoutEnBout : public QObject
{
    Q_OBJECT

    QTemporaryDir travail;
    std::vector<std::unique_ptr<Processus>> programmes;

    const QString dossier = travail.path(), ini = travail.filePath(QStringLiteral("Papirol2.ini"));

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

    /** papirol2 run to its end with that command in that folder: its exit code, or -1. */
    int commande(const QString &ici, const char *option,
                 const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        return fin(lancer(ici, env, {QString::fromUtf8(option)}));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(QStringLiteral(PAPIROL2_EXECUTABLE)), PAPIROL2_EXECUTABLE);
        // For the copies started: this X server, runtime and desktop settings of their own, their log.
        qputenv("PAPIROL2_BUREAU", "x11");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dossier));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dossier + QStringLiteral("/.config")));
        qputenv("QT_LOGGING_RULES", "papirol2.*=true");
    }

    // Stops every copy started, showing what each logged when the case failed.
    void cleanup()
    {
        for (auto &p : programmes)
            if (QTest::currentTestFailed())
                qInfo().noquote() << "program log:\n" << QString::fromUtf8(p->readAll());
        programmes.clear();
    }

    // A second copy, and clients of the command socket that hold it silent or flood it: the program goes on.
    void uneSessionDUtilisateur()
    {
        QVERIFY(ecrireIni(dossier, true, 2));
        QProcess &p = lancer(dossier);
        // The stored "on" shows a picture at start.
        const int premiere = couleurAffichee();
        QVERIFY(premiere >= 0 && QTest::qWaitFor([] { return icones().size() == 1; }, delaiMax));
        const QString canal = cheminCanal(ini);
        const int muet = client(canal, {}), deluge = client(canal, QByteArray(1 << 20, 'x'));
        QVERIFY(muet >= 0 && deluge >= 0);
        // Two pictures, none twice in a cycle: a change must show the other one.
        QCOMPARE(commande(dossier, "--changer"), 0);
        QVERIFY(couleurAffichee(premiere) >= 0);
        close(muet);
        close(deluge);

        // A second start on the same settings leaves at once.
        QCOMPARE(fin(lancer(dossier)), 0);
        QCOMPARE(icones().size(), 1);
        QCOMPARE(commande(dossier, "--quitter"), 0);
        QCOMPARE(fin(p), 0);
    }

    // Each command does what its tray menu entry does, stored state included, and ends once taken; a logout's
    // or a terminal's signal ends the program as "Quitter" does. All on a session bus whose daemon is stopped
    // (it takes connections and never answers); the command socket taken away while the copy runs, and the
    // command still reaches the copy.
    void lesCommandes_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("actifAvant");
        QTest::addColumn<bool>("actifApres");
        QTest::addColumn<bool>("sansCanal");
        QTest::newRow("activer") << "--activer" << 0 << false << true << false;
        QTest::newRow("désactiver") << "--desactiver" << 0 << true << false << false;
        QTest::newRow("quitter") << "--quitter" << 0 << true << true << false;
        for (const int signal : {SIGTERM, SIGHUP, SIGINT})
            QTest::addRow("%s", strsignal(signal)) << "" << signal << true << true << false;
        QTest::newRow("canal supprimé") << "--activer" << 0 << false << true << true;
    }
    void lesCommandes()
    {
        QFETCH(QString, option);
        QFETCH(int, signal);
        QFETCH(bool, actifAvant);
        QFETCH(bool, actifApres);
        QFETCH(bool, sansCanal);
        Processus daemon;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QString::fromLatin1(
                       premiereLigne(daemon, QStringLiteral("dbus-daemon"),
                                     QStringLiteral("--nofork --print-address=1 --session").split(u' '))));
        QCOMPARE(kill(pid_t(daemon.processId()), SIGSTOP), 0);
        const auto reprise = qScopeGuard([&] { kill(pid_t(daemon.processId()), SIGCONT); });
        // No picture left on the root by an earlier case.
        QCOMPARE(QProcess::execute(QStringLiteral("xsetroot"),
                                   {QStringLiteral("-solid"), QStringLiteral("black")}),
                 0);
        QVERIFY(ecrireIni(dossier, actifAvant, 3));
        QProcess &p = lancer(dossier, env);
        QVERIFY(QTest::qWaitFor([] { return icones().size() == 1; }, delaiMax));
        const int avant = actifAvant ? couleurAffichee() : -1;
        QVERIFY(!sansCanal || QFile::remove(cheminCanal(ini)));
        if (signal)
            QCOMPARE(kill(pid_t(p.processId()), signal), 0);
        else
            QCOMPARE(commande(dossier, qPrintable(option)), 0);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("Options/active")).toBool(),
                 actifApres);
        if (signal || option == QLatin1String("--quitter")) {
            // Answered once the process is exiting.
            QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 2000);
            QVERIFY(fin(p) == 0 && icones().isEmpty());
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
        QVERIFY(ecrireIni(dossier, false));
        const QByteArray dossierLigne = QFile::encodeName(dossier) + '/' + ici;
        QVERIFY(mkdir(dossierLigne.constData(), 0700) == 0 || errno == EEXIST);
        QProcessEnvironment environnement = QProcessEnvironment::systemEnvironment();
        for (QString mot : QString::fromUtf8(env).split(u' ', Qt::SkipEmptyParts)) {
            mot.replace(QLatin1Char('@'), dossier);
            if (mot.contains(QLatin1Char('=')))
                environnement.insert(mot.section(QLatin1Char('='), 0, 0), mot.section(QLatin1Char('='), 1));
            else
                environnement.remove(mot);
        }
        Processus p;
        p.setProcessEnvironment(environnement);
        p.setChildProcessModifier(
            [dossierLigne] { [[maybe_unused]] const int r = chdir(dossierLigne.constData()); });
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE),
                QString::fromUtf8(ligne).split(u' ', Qt::SkipEmptyParts));
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
        const QString fichier = QDir(dossier).filePath(QString::fromUtf8(cible + (cible[0] == '!')));
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
};

QTEST_MAIN(TestBoutEnBout)
#include "bouttenbout.moc"
