// The built program driven as a user drives it: real X server, real tray host, clicks and keys sent
// with xdotool. What the user sees is read back from the screen and from the settings file.
// PAPIROL2_CAPTURES=<folder> also saves screenshots of the menus and dialogs for a person to look at.
#include "commun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
// Generous: a loaded machine must slow the test down, not fail it.
constexpr int delaiMax = 15000;
// How long a change that must not happen is given to show up anyway.
constexpr int delaiAbsence = 1500;

const QColor rouge(200, 30, 30), vert(30, 180, 60), bleu(40, 60, 210);
const QColor jaune(230, 210, 40), cyan(40, 200, 210), magenta(200, 40, 190), orange(240, 140, 20);

/** Runs a helper tool to its end and returns what it printed; empty when it fails. */
QString outil(const QString &programme, const QStringList &arguments)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(programme, arguments);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0
        ? QString::fromUtf8(p.readAllStandardOutput())
        : QString();
}

QStringList fenetres(const QStringList &criteres)
{
    return outil(QStringLiteral("xdotool"), QStringList {QStringLiteral("search")} + criteres)
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

/** One line of `xwininfo -root -tree`: a window, how deep it sits, and its name and class. */
struct Fenetre
{
    QString id;
    int retrait;
    QString texte;
};

QList<Fenetre> arbre()
{
    QList<Fenetre> resultat;
    const QStringList lignes
        = outil(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
              .split(QLatin1Char('\n'));
    for (const QString &ligne : lignes) {
        const QString texte = ligne.trimmed();
        if (texte.startsWith(QLatin1String("0x")))
            resultat.append({texte.section(QLatin1Char(' '), 0, 0), int(ligne.indexOf(texte)), texte});
    }
    return resultat;
}

const QLatin1String classeProgramme("(\"papirol2\" \"papirol2\")");

/** The windows of papirol2 embedded in the tray host. */
QStringList iconesDuPlateau()
{
    QStringList icones;
    int retraitPanneau = -1;
    for (const Fenetre &f : arbre()) {
        if (retraitPanneau >= 0 && f.retrait <= retraitPanneau)
            retraitPanneau = -1;
        if (f.texte.contains(QLatin1String("(\"panel\" \"trayer\")")))
            retraitPanneau = f.retrait;
        else if (retraitPanneau >= 0 && f.texte.contains(classeProgramme))
            icones.append(f.id);
    }
    return icones;
}

bool estVisible(const QString &fenetre)
{
    return outil(QStringLiteral("xwininfo"), {QStringLiteral("-id"), fenetre})
        .contains(QLatin1String("Map State: IsViewable"));
}

/** Open menus: mapped top-level windows of the program named after it (its other windows have titles). */
QStringList menusOuverts()
{
    const QList<Fenetre> tout = arbre();
    if (tout.isEmpty())
        return {};
    const int retraitHaut = tout.first().retrait;
    QStringList menus;
    for (const Fenetre &f : tout) {
        if (f.retrait == retraitHaut
            && f.texte.startsWith(f.id + QStringLiteral(" \"papirol2\": ") + classeProgramme)
            && estVisible(f.id))
            menus.append(f.id);
    }
    return menus;
}

QString fenetreNommee(const QString &titre)
{
    // Titles here hold no regular expression syntax.
    const QStringList f = fenetres({QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                    QLatin1Char('^') + titre + QLatin1Char('$')});
    return f.size() == 1 ? f.first() : QString();
}

bool xdotool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool cliquer(const QString &fenetre, int x, int y, int bouton = 1)
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), fenetre, QString::number(x),
                    QString::number(y), QStringLiteral("click"), QString::number(bouton)});
}

bool touches(const QStringList &noms)
{
    return xdotool(QStringList {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")}
                   + noms);
}

/** What the desktop shows where no window ever goes: near the bottom-right corner. */
QColor fond()
{
    const QImage racine = captureRacine();
    return racine.isNull() ? QColor() : racine.pixelColor(racine.width() - 20, racine.height() - 20);
}

int indexCouleur(const QColor &c, const QList<QColor> &couleurs)
{
    for (int i = 0; i < couleurs.size(); ++i) {
        if (c.isValid() && procheDe(c, couleurs.at(i)))
            return i;
    }
    return -1;
}

QImage imageUnie(const QColor &couleur)
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(couleur);
    return image;
}

/** A folder of solid pictures, one per colour. */
QString dossierImages(const QString &parent, const QString &nom, const QList<QColor> &couleurs)
{
    const QString dossier = parent + QLatin1Char('/') + nom;
    if (!QDir().mkpath(dossier))
        return {};
    for (int i = 0; i < couleurs.size(); ++i) {
        if (!ecrireImage(QStringLiteral("%1/%2.jpg").arg(dossier).arg(i), imageUnie(couleurs.at(i)), "JPG"))
            return {};
    }
    return dossier;
}

bool ecrireFichier(const QString &chemin, const QString &texte)
{
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && f.write(texte.toUtf8()) == texte.toUtf8().size();
}

/** Saves what the screen shows when PAPIROL2_CAPTURES names a folder, for a person to look at. */
void capturer(const QString &nom)
{
    const QString dossier = qEnvironmentVariable("PAPIROL2_CAPTURES");
    if (dossier.isEmpty())
        return;
    QDir().mkpath(dossier);
    const QString chemin = dossier + QLatin1Char('/') + nom + QStringLiteral(".png");
    if (!captureRacine().save(chemin))
        qWarning() << "could not save" << chemin;
}

/** A settings value as the file holds it now. */
QVariant valeurIni(const QString &ini, const QString &cle)
{
    return QSettings(ini, QSettings::IniFormat).value(cle);
}

QStringList groupesIni(const QString &ini)
{
    return QSettings(ini, QSettings::IniFormat).childGroups();
}

/** A copy of the program, in its own working folder, with its own desktop settings. */
class Programme
{
public:
    Programme(const QString &dossier, const QString &runtime)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PAPIROL2_BUREAU"), QStringLiteral("x11"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("papirol2.*=true"));
        processus.setProcessEnvironment(env);
        processus.setWorkingDirectory(dossier);
        processus.setProcessChannelMode(QProcess::MergedChannels);
        processus.start(QStringLiteral(PAPIROL2_EXECUTABLE), QStringList());
        processus.waitForStarted();
    }
    ~Programme()
    {
        if (processus.state() != QProcess::NotRunning) {
            processus.terminate();
            if (!processus.waitForFinished(5000)) {
                processus.kill();
                processus.waitForFinished();
            }
        }
    }
    bool enMarche() const { return processus.state() == QProcess::Running; }
    QString journal()
    {
        sortie += QString::fromUtf8(processus.readAll());
        return sortie;
    }

    QProcess processus;

private:
    QString sortie;
};

/** Another X server of the test's own, with no tray host; DISPLAY points to it while it lives. */
class AutreEcran
{
public:
    AutreEcran()
        : ancien(qgetenv("DISPLAY"))
    {
        xvfb.setStandardErrorFile(QProcess::nullDevice());
        // -displayfd 1: the server writes its display number on its standard output once it accepts clients.
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
        QByteArray numero;
        const QDeadlineTimer limite(delaiMax);
        while (!numero.contains('\n') && !limite.hasExpired() && xvfb.state() != QProcess::NotRunning) {
            xvfb.waitForReadyRead(100);
            numero += xvfb.readAllStandardOutput();
        }
        if (numero.contains('\n'))
            qputenv("DISPLAY", ':' + numero.trimmed());
    }
    ~AutreEcran()
    {
        qputenv("DISPLAY", ancien);
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    bool pret() const { return qgetenv("DISPLAY") != ancien; }

private:
    QByteArray ancien;
    QProcess xvfb;
};

/** A tray host of the test's own on the current display, as the desktop's panel would be. */
class HotePlateau
{
public:
    HotePlateau()
    {
        trayer.setStandardOutputFile(QProcess::nullDevice());
        trayer.setStandardErrorFile(QProcess::nullDevice());
        trayer.start(QStringLiteral("trayer"),
                     {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                      QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                      QStringLiteral("--width"), QStringLiteral("200"), QStringLiteral("--height"),
                      QStringLiteral("40"), QStringLiteral("--SetDockType"), QStringLiteral("true"),
                      QStringLiteral("--transparent"), QStringLiteral("false")});
        trayer.waitForStarted();
    }
    ~HotePlateau()
    {
        trayer.terminate();
        if (!trayer.waitForFinished(5000)) {
            trayer.kill();
            trayer.waitForFinished();
        }
    }

private:
    QProcess trayer;
};
} // namespace

class TestBoutEnBout : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> travail;
    QTemporaryDir runtime;
    std::vector<std::unique_ptr<Programme>> programmes;

    QString dossier(const QString &nom = QString()) const
    {
        return nom.isEmpty() ? travail->path() : travail->filePath(nom);
    }

    Programme &lancer(const QString &dossierDeTravail)
    {
        programmes.push_back(std::make_unique<Programme>(dossierDeTravail, runtime.path()));
        return *programmes.back();
    }

    static QString ini(const QString &actif, const QString &emplacements = QString(),
                       const QString &timer = QStringLiteral("600"))
    {
        return QStringLiteral("[Options]\nactive=%1\ntimer=%2\n").arg(actif, timer) + emplacements;
    }

    static QString emplacement(int n, const QString &chemin, bool selectionne)
    {
        return QStringLiteral("[Emplacement_%1]\npath=%2\nfiltre=*.jpg\nselected=%3\n")
            .arg(n)
            .arg(chemin, selectionne ? QStringLiteral("true") : QStringLiteral("false"));
    }

    /** Stops every copy started, showing what each logged when the case failed. */
    void arreterTout()
    {
        for (auto &p : programmes) {
            if (QTest::currentTestFailed())
                qInfo().noquote() << "program log:\n" << p->journal();
        }
        programmes.clear();
    }

    /** The program's single icon once it shows in the tray, ready for clicks. */
    QString attendreIcone()
    {
        QString icone;
        const QDeadlineTimer limite(delaiMax);
        while (!limite.hasExpired()) {
            const QStringList icones = iconesDuPlateau();
            if (icones.size() == 1 && estVisible(icones.first())) {
                icone = icones.first();
                break;
            }
            QTest::qWait(100);
        }
        return icone;
    }

    /** Opens the context menu and waits until it can take keys. */
    bool ouvrirMenu(const QString &icone)
    {
        if (!cliquer(icone, 11, 19, 3))
            return false;
        const QDeadlineTimer limite(delaiMax);
        while (menusOuverts().size() != 1) {
            if (limite.hasExpired())
                return false;
            QTest::qWait(50);
        }
        // The popup grabs the keyboard right after it maps; keys sent before would go elsewhere.
        QTest::qWait(300);
        return true;
    }

    /** Picks an entry of the context menu with the keyboard, as a user does. */
    bool choisirDansMenu(const QString &icone, const QStringList &chemin)
    {
        if (!ouvrirMenu(icone) || !touches(chemin))
            return false;
        const QDeadlineTimer limite(delaiMax);
        while (!menusOuverts().isEmpty()) {
            if (limite.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    /** Keys, from a freshly opened menu, that toggle location n in "Emplacements". */
    static QStringList cheminEmplacement(int n)
    {
        QStringList cles {QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Right")};
        for (int i = 0; i < n; ++i)
            cles << QStringLiteral("Down");
        return cles << QStringLiteral("Return");
    }
    static QStringList cheminChanger() { return {QStringLiteral("Down"), QStringLiteral("Return")}; }

    /** Adds a folder through "Ajouter", its folder dialog and its filter dialog, typing as a user would. */
    void ajouterParLesDialogues(const QString &liste, const QString &chemin, bool capturerDialogues)
    {
        QVERIFY(cliquer(liste, 10 + 37, 370 + 11));
        QTRY_VERIFY_WITH_TIMEOUT(!fenetreNommee(QStringLiteral("Sélectionnez un répertoire")).isEmpty(),
                                 delaiMax);
        QTest::qWait(300);
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"), chemin}));
        QTest::qWait(300);
        if (capturerDialogues)
            capturer(QStringLiteral("dialogue-repertoire"));
        QVERIFY(touches({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(!fenetreNommee(QStringLiteral("Définition du filtre")).isEmpty(), delaiMax);
        QTest::qWait(300);
        if (capturerDialogues)
            capturer(QStringLiteral("dialogue-filtre"));
        QVERIFY(touches({QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(fenetreNommee(QStringLiteral("Définition du filtre")).isEmpty(), delaiMax);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"),
                 "needs an X server with a tray host (avec-xvfb.sh --trayer)");
        QVERIFY(runtime.isValid());
        QVERIFY2(QFile::exists(QStringLiteral(PAPIROL2_EXECUTABLE)), PAPIROL2_EXECUTABLE);
    }

    void init()
    {
        travail = std::make_unique<QTemporaryDir>();
        QVERIFY(travail->isValid());
        // Whatever an earlier case left must be gone, or counting icons means nothing.
        QTRY_VERIFY_WITH_TIMEOUT(iconesDuPlateau().isEmpty(), delaiMax);
    }

    void cleanup()
    {
        arreterTout();
        travail.reset();
    }

    void changerParLIconePuisQuitterParLeMenu()
    {
        const QList<QColor> couleurs {rouge, vert, bleu};
        const QString images = dossierImages(dossier(), QStringLiteral("images"), couleurs);
        QVERIFY(!images.isEmpty());
        QVERIFY(ecrireFichier(dossier(QStringLiteral("Papirol2.ini")),
                              ini(QStringLiteral("true"), emplacement(0, images, true))));
        Programme &p = lancer(dossier());

        // The stored "on" shows a picture at start.
        QTRY_VERIFY_WITH_TIMEOUT(indexCouleur(fond(), couleurs) >= 0, delaiMax);
        const int premiere = indexCouleur(fond(), couleurs);

        const QString icone = attendreIcone();
        QVERIFY2(!icone.isEmpty(), qPrintable(iconesDuPlateau().join(QLatin1Char(' '))));

        // Three pictures, none twice in a cycle: a click must show another one.
        QVERIFY(cliquer(icone, 11, 19));
        QTRY_VERIFY_WITH_TIMEOUT(
            indexCouleur(fond(), couleurs) >= 0 && indexCouleur(fond(), couleurs) != premiere, delaiMax);

        // The interval submenu opens from the keyboard: Changer, Activer, Intervalle, then Right.
        QVERIFY(ouvrirMenu(icone));
        QVERIFY(touches({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
                         QStringLiteral("Right")}));
        QTRY_COMPARE_WITH_TIMEOUT(menusOuverts().size(), 2, delaiMax);
        QTest::qWait(300);
        capturer(QStringLiteral("menu-intervalle"));
        QVERIFY(touches({QStringLiteral("Escape"), QStringLiteral("Escape")}));
        QTRY_VERIFY_WITH_TIMEOUT(menusOuverts().isEmpty(), delaiMax);
        QVERIFY(p.enMarche());

        // "Quitter" is the last entry.
        QVERIFY(ouvrirMenu(icone));
        QVERIFY(touches({QStringLiteral("Up"), QStringLiteral("Return")}));
        QVERIFY(p.processus.waitForFinished(delaiMax));
        QCOMPARE(p.processus.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.processus.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(iconesDuPlateau().isEmpty(), delaiMax);
    }

    void uneSeuleCopieParFichierDeReglages()
    {
        QVERIFY(ecrireFichier(dossier(QStringLiteral("Papirol2.ini")), ini(QStringLiteral("false"))));
        Programme &premier = lancer(dossier());
        QVERIFY(!attendreIcone().isEmpty());

        Programme &second = lancer(dossier());
        QVERIFY(second.processus.waitForFinished(delaiMax));
        QCOMPARE(second.processus.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.processus.exitCode(), 0);
        QCOMPARE(iconesDuPlateau().size(), 1);
        QVERIFY(premier.enMarche());

        // Another settings file is another program.
        const QString autre = dossier(QStringLiteral("autre"));
        QVERIFY(QDir().mkpath(autre));
        QVERIFY(ecrireFichier(autre + QStringLiteral("/Papirol2.ini"), ini(QStringLiteral("false"))));
        Programme &troisieme = lancer(autre);
        QTRY_COMPARE_WITH_TIMEOUT(iconesDuPlateau().size(), 2, delaiMax);
        QVERIFY(troisieme.enMarche());
        QVERIFY(premier.enMarche());
    }

    void lesEmplacementsDeBoutEnBout()
    {
        const QList<QColor> couleurs1 {jaune, cyan}, couleurs2 {magenta, orange};
        const QString images1 = dossierImages(dossier(), QStringLiteral("vacances"), couleurs1);
        const QString images2 = dossierImages(dossier(), QStringLiteral("montagne"), couleurs2);
        QVERIFY(!images1.isEmpty() && !images2.isEmpty());
        const QString reglages = dossier(QStringLiteral("Papirol2.ini"));
        QVERIFY(ecrireFichier(reglages, ini(QStringLiteral("false"))));
        Programme &p = lancer(dossier());
        const QString icone = attendreIcone();
        QVERIFY(!icone.isEmpty());

        // Emplacements (second from the bottom), then its last entry "Modifier la liste".
        QVERIFY(choisirDansMenu(icone,
                                {QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Right"),
                                 QStringLiteral("Up"), QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(!fenetreNommee(QStringLiteral("Papirol 2")).isEmpty(), delaiMax);
        const QString liste = fenetreNommee(QStringLiteral("Papirol 2"));

        ajouterParLesDialogues(liste, images1, true);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(valeurIni(reglages, QStringLiteral("Emplacement_0/path")).toString(),
                                  images1, delaiMax);
        QCOMPARE(valeurIni(reglages, QStringLiteral("Emplacement_0/filtre")).toString(),
                 QStringLiteral("*.jpg"));
        QCOMPARE(valeurIni(reglages, QStringLiteral("Emplacement_0/selected")).toString(),
                 QStringLiteral("false"));

        ajouterParLesDialogues(liste, images2, false);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(valeurIni(reglages, QStringLiteral("Emplacement_1/path")).toString(),
                                  images2, delaiMax);
        QTest::qWait(300);
        capturer(QStringLiteral("liste-deux-lignes"));

        // Switched in from the menu, the first folder alone feeds "Changer".
        QVERIFY(choisirDansMenu(icone, cheminEmplacement(0)));
        QTRY_COMPARE_WITH_TIMEOUT(valeurIni(reglages, QStringLiteral("Emplacement_0/selected")).toString(),
                                  QStringLiteral("true"), delaiMax);
        QCOMPARE(valeurIni(reglages, QStringLiteral("Emplacement_1/selected")).toString(),
                 QStringLiteral("false"));
        if (!qEnvironmentVariableIsEmpty("PAPIROL2_CAPTURES")) {
            QVERIFY(ouvrirMenu(icone));
            QVERIFY(touches({QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Right")}));
            QTRY_COMPARE_WITH_TIMEOUT(menusOuverts().size(), 2, delaiMax);
            QTest::qWait(300);
            capturer(QStringLiteral("menu-emplacements"));
            QVERIFY(touches({QStringLiteral("Escape"), QStringLiteral("Escape")}));
            QTRY_VERIFY_WITH_TIMEOUT(menusOuverts().isEmpty(), delaiMax);
        }
        QVERIFY(choisirDansMenu(icone, cheminChanger()));
        QTRY_VERIFY_WITH_TIMEOUT(indexCouleur(fond(), couleurs1) >= 0, delaiMax);
        const QColor montree = fond();

        // Removing the selected folder takes its pictures out at once.
        QVERIFY(cliquer(liste, 100, 45));
        QVERIFY(cliquer(liste, 100 + 37, 370 + 11));
        QTRY_VERIFY_WITH_TIMEOUT(!groupesIni(reglages).contains(QStringLiteral("Emplacement_1")), delaiMax);
        QCOMPARE(valeurIni(reglages, QStringLiteral("Emplacement_0/path")).toString(), images2);
        QCOMPARE(valeurIni(reglages, QStringLiteral("Emplacement_0/selected")).toString(),
                 QStringLiteral("false"));
        QVERIFY(choisirDansMenu(icone, cheminChanger()));
        QTest::qWait(delaiAbsence);
        QVERIFY(procheDe(fond(), montree, 10));
        QVERIFY(cliquer(icone, 11, 19));
        QTest::qWait(delaiAbsence);
        QVERIFY(procheDe(fond(), montree, 10));

        // The folder left is now first in the menu; with it alone, two changes show both its pictures.
        QVERIFY(choisirDansMenu(icone, cheminEmplacement(0)));
        QTRY_COMPARE_WITH_TIMEOUT(valeurIni(reglages, QStringLiteral("Emplacement_0/selected")).toString(),
                                  QStringLiteral("true"), delaiMax);
        QVERIFY(choisirDansMenu(icone, cheminChanger()));
        QTRY_VERIFY_WITH_TIMEOUT(indexCouleur(fond(), couleurs2) >= 0, delaiMax);
        const int vue = indexCouleur(fond(), couleurs2);
        QVERIFY(choisirDansMenu(icone, cheminChanger()));
        QTRY_COMPARE_WITH_TIMEOUT(indexCouleur(fond(), couleurs2), 1 - vue, delaiMax);
        QVERIFY(p.enMarche());
    }

    // Last: it runs on a display of its own, with no tray host until it starts one.
    void sansPlateauAuDemarrage()
    {
        AutreEcran ecran;
        QVERIFY(ecran.pret());
        // The program goes while its X server is still there.
        const auto fin = qScopeGuard([this] { arreterTout(); });
        const QList<QColor> couleurs {rouge, vert, bleu};
        const QString images = dossierImages(dossier(), QStringLiteral("images"), couleurs);
        QVERIFY(!images.isEmpty());
        // A one-second interval: rotation without a tray is seen within a few ticks.
        QVERIFY(
            ecrireFichier(dossier(QStringLiteral("Papirol2.ini")),
                          ini(QStringLiteral("true"), emplacement(0, images, true), QStringLiteral("1"))));
        Programme &p = lancer(dossier());

        QTRY_VERIFY_WITH_TIMEOUT(indexCouleur(fond(), couleurs) >= 0, delaiMax);
        const int premiere = indexCouleur(fond(), couleurs);
        QTRY_VERIFY_WITH_TIMEOUT(
            indexCouleur(fond(), couleurs) >= 0 && indexCouleur(fond(), couleurs) != premiere, delaiMax);
        QVERIFY(p.enMarche());
        QVERIFY(iconesDuPlateau().isEmpty());

        HotePlateau plateau;
        QVERIFY(!attendreIcone().isEmpty());
        QVERIFY(p.enMarche());
    }
};

QTEST_MAIN(TestBoutEnBout)
#include "bouttenbout.moc"
