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

#include <memory>
#include <vector>

#include <csignal>
#include <sys/socket.h>
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

    // Without a running copy, or with a wrong line, nothing is started: exit 1 or 2 and a French word.
    void lesLignesSansCopie_data()
    {
        QTest::addColumn<QString>("ligne");
        QTest::addColumn<int>("code");
        // On stdout for exit 0, else on stderr; the other stays empty.
        QTest::addColumn<QByteArray>("texte");
        const QByteArray usage("Utilisation");
        QTest::newRow("changer") << "--changer" << 1 << QByteArray("aucune copie");
        QTest::newRow("aide") << "--help" << 0 << QByteArray("--changer");
        QTest::newRow("inconnue") << "--changr" << 2 << usage;
        QTest::newRow("deux commandes") << "--changer --quitter" << 2 << usage;
        QTest::newRow("un fichier") << "image.jpg" << 2 << usage;
        QTest::newRow("au démarrage peut-être") << "--au-demarrage peut-etre" << 2 << usage;
    }
    void lesLignesSansCopie()
    {
        QFETCH(QString, ligne);
        QFETCH(int, code);
        QFETCH(QByteArray, texte);
        QVERIFY(ecrireIni(dossier("seul"), true));
        const Sortie s = commande(dossier("seul"), ligne.split(QLatin1Char(' ')));
        QCOMPARE(s.code, code);
        QVERIFY2((code ? s.erreur : s.sortie).contains(texte) && (code ? s.sortie : s.erreur).isEmpty(),
                 (s.sortie + s.erreur).constData());
        if (code == 1) {
            QCOMPARE(s.erreur.count('\n'), 1);
            QCOMPARE(icones().size(), 0);
        }
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

    // The start at login: an autostart entry in the current folder that desktop-file-validate takes, then
    // none; a folder that cannot be written is said.
    void auDemarrage()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier("config"));
        const QString entree = dossier("config/autostart/papirol2.desktop");
        const QString ici = dossier("dossier avec espace \\ et $");
        QVERIFY(QDir().mkpath(ici));
        Sortie s = commande(ici, {QStringLiteral("--au-demarrage"), QStringLiteral("oui")}, env);
        QCOMPARE(s.code, 0);
        QVERIFY(s.sortie.contains("démarrera"));
        const QString avis = outil("desktop-file-validate", {entree});
        QVERIFY2(!avis.isNull() && avis.isEmpty(), qPrintable(entree + avis));
        QSettings lu(entree, QSettings::IniFormat);
        QCOMPARE(lu.value(QStringLiteral("Desktop Entry/Path")).toString(), ici);
        QCOMPARE(commande(ici, {QStringLiteral("--au-demarrage"), QStringLiteral("non")}, env).code, 0);
        QVERIFY(!QFile::exists(entree));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier("Papirol2.ini"));
        QVERIFY(ecrireIni(dossier(), false));
        s = commande(ici, {QStringLiteral("--au-demarrage=oui")}, env);
        QCOMPARE(s.code, 1);
        QCOMPARE(s.erreur.count('\n'), 1);
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
