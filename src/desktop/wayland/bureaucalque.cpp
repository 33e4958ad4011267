#include "bureaucalque.h"
#include "commun/chemins.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <csignal>
#include <unistd.h>

namespace {
constexpr int pasMs = 100;
// swaybg says nothing once it has drawn. It connects, waits for the compositor to size its surface, then
// decodes and draws, and sleeps from then on: a child alive for a while that has used no CPU time for
// several polls in a row has drawn. The bound keeps a change from waiting forever on a busy machine.
constexpr int ageMinimalMs = 500;
constexpr int calmesVoulus = 5;
constexpr int limiteMs = 15000;
// Restarts of a child that keeps dying, per minute; the next change asked for tries again.
constexpr int relancesMax = 5;
const QByteArray echecChargement = "Failed to load image";

struct Etat
{
    char etat = 0;
    qint64 cpu = -1;
    QByteArray debut;
};

// What /proc says of a process: its state, CPU ticks used and start time; nothing where there is no /proc.
Etat lireEtat(qint64 pid)
{
    QFile fichier(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!fichier.open(QIODevice::ReadOnly))
        return {};
    const QByteArray texte = fichier.readAll();
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const QList<QByteArray> champs = texte.mid(texte.lastIndexOf(')') + 2).split(' ');
    if (champs.size() < 20 || champs.at(0).isEmpty())
        return {};
    return {champs.at(0).at(0), champs.at(11).toLongLong() + champs.at(12).toLongLong(), champs.at(19)};
}

QByteArray journal(QProcess *processus)
{
    return processus->property("journal").toByteArray().trimmed();
}
} // namespace

BureauCalque::BureauCalque()
    : BureauWayland(QStringLiteral("calque"))
    , programme(QStandardPaths::findExecutable(QStringLiteral("swaybg")))
{
    if (programme.isEmpty())
        qCWarning(lcBureau)
            << "swaybg is not installed: install it (package swaybg) for the wallpaper to change";
    veille.setInterval(pasMs);
    QObject::connect(&veille, &QTimer::timeout, &contexte, [this] { surveiller(); });
    horloge.start();
    QFile temoin(cheminTemoinCalque());
    if (temoin.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> champs = temoin.readAll().trimmed().split(' ');
        if (champs.size() == 2) {
            ancienPid = champs.at(0).toLongLong();
            ancienDebut = champs.at(1);
        }
    }
}

BureauCalque::~BureauCalque()
{
    veille.stop();
    for (QProcess *p : {arrivant, affiche}) {
        if (p)
            QObject::disconnect(p, nullptr, nullptr, nullptr);
    }
    if (arrivant) {
        arrivant->kill();
        arrivant->waitForFinished(1000);
        delete arrivant;
    }
    for (QProcess *p : std::as_const(finissants)) {
        QObject::disconnect(p, nullptr, nullptr, nullptr);
        p->kill();
        p->waitForFinished(1000);
        delete p;
    }
    // The picture goes when its child does: the child is left running, in a process group of its own and
    // deaf to its closed pipe, and named in the witness file for the next run to end.
    if (affiche)
        affiche->closeReadChannel(QProcess::StandardError);
}

void BureauCalque::conclure(Resultat resultat)
{
    if (!aSignaler.isEmpty())
        signaler(std::exchange(aSignaler, QString()), resultat);
}

void BureauCalque::envoyer(const QString &chemin, Disposition disposition, bool signaler)
{
    // Absolute, so that the path never starts with '-' and is never read as an option.
    const QString absolu = QFileInfo(chemin).absoluteFilePath();
    if (programme.isEmpty()) {
        qCWarning(lcBureau) << "wallpaper not changed to" << absolu
                            << ": swaybg is not installed, install it";
        if (signaler)
            this->signaler(chemin, Resultat::Injoignable);
        return;
    }
    // A picture replaced before it was drawn was never shown; the same one in another layout is on its way.
    if (aSignaler != chemin)
        conclure(Resultat::Injoignable);
    if (signaler)
        aSignaler = chemin;
    // Opaque around a centred or fitted picture: a background the session drew beneath (a swaybg from its
    // autostart) must not show through.
    const auto groupe = [&disposition](const QString &sortie, const QString &image) {
        return QStringList {QStringLiteral("-o"), sortie,
                            QStringLiteral("-i"), image,
                            QStringLiteral("-m"), mode(disposition),
                            QStringLiteral("-c"), QStringLiteral("#000000")};
    };
    // The primary's picture of a round sends the whole round: a new layout then shows on every output. swaybg
    // gives an output plugged in later the "*" group's picture.
    arguments = groupe(QStringLiteral("*"), absolu);
    if (!parSortie.isEmpty() && parSortie.first().second == chemin)
        for (const auto &[sortie, image] : std::as_const(parSortie))
            arguments += groupe(sortie, QFileInfo(image).absoluteFilePath());
    relances.clear();
    demarrer();
}

void BureauCalque::demarrer()
{
    // A child not yet drawn is not missed: the one on the screen still covers it.
    if (arrivant)
        finir(arrivant);
    auto *p = new QProcess;
    arrivant = p;
    p->setProgram(programme);
    p->setArguments(arguments);
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QProcess::nullDevice());
    // The child outlives us: out of our process group, so a ^C to us leaves it, and deaf to the pipe we
    // close.
    p->setChildProcessModifier([] {
        ::setsid();
        ::signal(SIGPIPE, SIG_IGN);
    });
    QObject::connect(p, &QProcess::readyReadStandardError, &contexte, [this, p] {
        QByteArray texte = journal(p) + p->readAllStandardError();
        p->setProperty("journal", texte.right(2000));
        if (p == arrivant && texte.contains(echecChargement)) {
            qCWarning(lcBureau) << "swaybg cannot show" << arguments.at(3) << ":" << journal(p);
            finir(p);
            arrivant = nullptr;
            veille.stop();
            conclure(Resultat::Refusee);
        }
    });
    QObject::connect(p, &QProcess::finished, &contexte, [this, p](int code, QProcess::ExitStatus statut) {
        surFin(p,
               statut == QProcess::CrashExit ? QStringLiteral("it crashed")
                                             : QStringLiteral("it exited with code %1").arg(code));
    });
    QObject::connect(p, &QProcess::errorOccurred, &contexte, [this, p](QProcess::ProcessError erreur) {
        if (erreur == QProcess::FailedToStart)
            surFin(p, p->errorString());
    });
    age.start();
    dernierCpu = -1;
    calmes = 0;
    veille.start();
    p->start();
}

void BureauCalque::surveiller()
{
    if (!arrivant) {
        veille.stop();
        return;
    }
    const Etat etat = lireEtat(arrivant->processId());
    if (etat.etat == 0) {
        // No /proc: a fixed delay is all there is.
        if (age.elapsed() >= 2 * ageMinimalMs)
            installer();
        return;
    }
    calmes = (etat.etat == 'S' && etat.cpu == dernierCpu) ? calmes + 1 : 0;
    dernierCpu = etat.cpu;
    if ((age.elapsed() >= ageMinimalMs && calmes >= calmesVoulus) || age.elapsed() >= limiteMs)
        installer();
}

void BureauCalque::installer()
{
    veille.stop();
    if (affiche)
        finir(affiche);
    affiche = arrivant;
    arrivant = nullptr;
    finirAncien();
    const Etat etat = lireEtat(affiche->processId());
    QSaveFile temoin(cheminTemoinCalque());
    if (!etat.debut.isEmpty() && temoin.open(QIODevice::WriteOnly)) {
        temoin.write(QByteArray::number(affiche->processId()) + ' ' + etat.debut + '\n');
        if (temoin.commit()) {
            ancienPid = affiche->processId();
            ancienDebut = etat.debut;
        }
    }
    qCInfo(lcBureau) << "swaybg" << affiche->processId() << "shows" << arguments.at(3);
    conclure(Resultat::Montree);
}

void BureauCalque::surFin(QProcess *p, const QString &raison)
{
    p->deleteLater();
    if (finissants.remove(p))
        return;
    qCWarning(lcBureau) << "swaybg" << arguments.value(3) << "stopped:" << raison << journal(p);
    if (p == arrivant) {
        arrivant = nullptr;
        veille.stop();
    } else if (p == affiche) {
        affiche = nullptr;
        // A child is on the way: it will draw the picture again.
        if (arrivant)
            return;
    } else {
        return;
    }
    relancer();
}

void BureauCalque::relancer()
{
    const qint64 maintenant = horloge.elapsed();
    while (!relances.isEmpty() && maintenant - relances.first() > 60000)
        relances.removeFirst();
    if (relances.size() >= relancesMax) {
        qCWarning(lcBureau) << "swaybg stopped" << relances.size()
                            << "times within a minute: not restarted until the next change";
        conclure(Resultat::Injoignable);
        return;
    }
    relances.append(maintenant);
    // Spaced out, so that a compositor going away is not hammered.
    QTimer::singleShot(250 << (relances.size() - 1), &contexte, [this] {
        if (!arrivant && !affiche)
            demarrer();
    });
}

void BureauCalque::finir(QProcess *p)
{
    finissants.insert(p);
    p->terminate();
}

void BureauCalque::finirAncien()
{
    if (ancienPid <= 0)
        return;
    // Only the very process named: a pid reused since then has another start time.
    if (ancienPid != affiche->processId() && lireEtat(ancienPid).debut == ancienDebut)
        ::kill(pid_t(ancienPid), SIGTERM);
    ancienPid = 0;
}
