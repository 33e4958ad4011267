// The built program driven as a user drives it: real X server, real tray host, clicks and keys sent
// with xdotool. What the user sees is read back from the screen and from the settings file.
#include "commun.h"

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

/** Picks an entry of the context menu with the keyboard, as a user does. */
bool choisirDansMenu(const QString &icone, const char *cles)
{
    if (!cliquer(icone, 11, 19, 3) || !attendre([] { return menus() == 1; }))
        return false;
    // The popup grabs the keyboard right after it maps; keys sent before would go elsewhere.
    QTest::qWait(300);
    return touches(cles) && attendre([] { return menus() == 0; });
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

/** A folder of solid pictures, one per colour. */
bool creerImages(const QString &dossier, const QList<QColor> &couleurs)
{
    bool fait = QDir().mkpath(dossier);
    for (int i = 0; fait && i < couleurs.size(); ++i)
        fait = imageUnie(couleurs.at(i), {160, 120}).save(QStringLiteral("%1/%2.jpg").arg(dossier).arg(i));
    return fait;
}

/** Settings with these options and, when given, one selected folder of pictures. */
bool ecrireIni(const QString &dossier, bool actif, const QString &images = {}, int timer = 600)
{
    QString texte = QStringLiteral("[Options]\nactive=%1\ntimer=%2\n")
                        .arg(QString::fromLatin1(actif ? "true" : "false"))
                        .arg(timer);
    if (!images.isEmpty())
        texte += QStringLiteral("[Emplacement_0]\npath=%1\nfiltre=*.jpg\nselected=true\n").arg(images);
    QFile f(dossier + QStringLiteral("/Papirol2.ini"));
    return QDir().mkpath(dossier) && f.open(QIODevice::WriteOnly) && f.write(texte.toUtf8()) > 0;
}

bool sortiAvecSucces(QProcess &p)
{
    return p.waitForFinished(delaiMax) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

/** Starts an X server with no tray host and points DISPLAY to it. */
bool autreEcran(QProcess &xvfb)
{
    // -displayfd 1: the server prints its display number once it accepts clients.
    xvfb.start(QStringLiteral("Xvfb"), mots("-displayfd 1 -screen 0 640x480x24 -nolisten tcp -noreset"));
    QByteArray numero;
    attendre([&] { return (numero += xvfb.readAllStandardOutput()).contains('\n'); });
    return numero.contains('\n') && qputenv("DISPLAY", ':' + numero.trimmed());
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

    /** A copy of the program working in that folder, so reading the settings file there. */
    QProcess &lancer(const QString &dossierDeTravail)
    {
        programmes.push_back(std::make_unique<Processus>());
        QProcess &p = *programmes.back();
        p.setWorkingDirectory(dossierDeTravail);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(PAPIROL2_EXECUTABLE), {});
        return p;
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
        QVERIFY(creerImages(dossier("images"), couleurs));
        QVERIFY(ecrireIni(dossier(), true, dossier("images")));
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

    // On a display of its own: no tray host until the test starts one.
    void sansPlateauAuDemarrage()
    {
        Processus xvfb, trayer;
        const QByteArray ecranPrincipal = qgetenv("DISPLAY");
        // The program goes while its X server is still there.
        const auto fin = qScopeGuard([&] {
            arreterTout();
            qputenv("DISPLAY", ecranPrincipal);
        });
        QVERIFY(autreEcran(xvfb));
        const QList<QColor> couleurs {rouge, vert, bleu};
        QVERIFY(creerImages(dossier("images"), couleurs));
        // A one-second interval: rotation without a tray is seen within a few ticks.
        QVERIFY(ecrireIni(dossier(), true, dossier("images"), 1));
        QProcess &p = lancer(dossier());
        const int premiere = couleurAffichee(couleurs);
        QVERIFY(premiere >= 0);
        QVERIFY(couleurAffichee(couleurs, premiere) >= 0);

        trayer.start(QStringLiteral("trayer"),
                     mots("--edge top --align right --widthtype pixel --width 200 "
                          "--height 40 --SetDockType true --transparent false"));
        QVERIFY(!attendreIcone().isEmpty());
        QCOMPARE(p.state(), QProcess::Running);
    }
};

QTEST_MAIN(TestBoutEnBout)
#include "bouttenbout.moc"
