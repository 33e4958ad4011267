#include "rotator.h"

#include "desktop/bureau.h"
#include "detache.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcRotation, "papirol2.rotation", QtCriticalMsg)

namespace {
// Drawn files found gone, one after another, before a tick gives up.
constexpr int essaisMax = 32;

// The last picture shown, kept so that the first one after a start is another.
QString cheminMemoire()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/papirol2/rotation.ini");
}
const QString cleDernier = QStringLiteral("dernier");
} // namespace

Rotator::Rotator()
    : minuteur(new QTimer)
    , calme(new QTimer(this))
    , filVeille(new QThread)
    , veilleur(new QFileSystemWatcher)
    , boite(std::make_shared<Boite>(this))
{
    connect(minuteur, &QTimer::timeout, this, &Rotator::changerWallpaper);
    calme->setSingleShot(true);
    connect(calme, &QTimer::timeout, this, &Rotator::relisterChanges);
    // Adding a watch looks the folder up: on a dead share that waits, so the watcher has a thread of its own.
    filVeille->setObjectName(QStringLiteral("veille"));
    veilleur->moveToThread(filVeille);
    connect(veilleur, &QFileSystemWatcher::directoryChanged, this, &Rotator::surChangement);
    connect(filVeille, &QThread::finished, veilleur, &QObject::deleteLater);
    filVeille->start();
    dernier = QSettings(cheminMemoire(), QSettings::IniFormat).value(cleDernier).toString();
}

Rotator::~Rotator()
{
    boite->fermer();
    delete minuteur;
    filVeille->quit();
    // A watcher stuck on a dead share is left behind, never waited for: the process is ending.
    if (filVeille->wait(500))
        delete filVeille;
    else
        qCWarning(lcRotation) << "watcher thread still busy; left behind";
}

int Rotator::borner(int secondes)
{
    constexpr int maximum = std::numeric_limits<int>::max() / 1000;
    return qBound(1, secondes, maximum);
}

void Rotator::changerIntervalle(int secondes)
{
    minuteur->setInterval(borner(secondes) * 1000);
    enregistrerTimer(secondes);
}

void Rotator::demarrer()
{
    changerWallpaper();
    minuteur->start(borner(lireTimer()) * 1000);
}

void Rotator::arreter()
{
    minuteur->stop();
}

bool Rotator::estActif() const
{
    return minuteur->isActive();
}

int Rotator::intervalleMs() const
{
    return minuteur->interval();
}

void Rotator::chargerFichiers(ListeEmplacements *modele)
{
    QHash<QString, Suivi> voulus;
    for (int ligne = 0; ligne < modele->rowCount(); ++ligne) {
        if (!modele->estSelectionne(ligne))
            continue;
        Suivi s;
        s.dossier = modele->cheminEmplacement(ligne);
        s.filtre = modele->filtreEmplacement(ligne);
        voulus.insert(s.dossier + QChar(0) + s.filtre, s);
    }
    // A listing still under way for a dropped location comes back to no one.
    for (auto it = suivis.begin(); it != suivis.end();) {
        if (voulus.contains(it.key())) {
            ++it;
            continue;
        }
        lot.retirer(it.key());
        surveiller(it->dossier, false);
        changes.remove(it.key());
        it = suivis.erase(it);
    }
    for (auto it = voulus.cbegin(); it != voulus.cend(); ++it) {
        if (suivis.contains(it.key()))
            continue;
        suivis.insert(it.key(), it.value());
        surveiller(it->dossier, true);
        lister(it.key());
    }
}

void Rotator::surveiller(const QString &dossier, bool oui)
{
    int &n = surveilles[dossier];
    n += oui ? 1 : -1;
    if (n == (oui ? 1 : 0)) {
        QFileSystemWatcher *v = veilleur;
        QMetaObject::invokeMethod(veilleur, [v, dossier, oui] {
            if (oui ? !v->addPath(dossier) : !v->removePath(dossier))
                qCInfo(lcRotation) << "no change notification for" << dossier << "; listed at each cycle";
        });
    }
    if (n == 0)
        surveilles.remove(dossier);
}

void Rotator::lister(const QString &cle)
{
    Suivi &s = suivis[cle];
    if (s.enCours) {
        s.aRefaire = true;
        return;
    }
    s.enCours = true;
    s.jeton = ++dernierJeton;
    const quint64 jeton = s.jeton;
    const QString dossier = s.dossier, filtre = s.filtre;
    const std::shared_ptr<Boite> retour = boite;
    lancerDetache([this, retour, cle, jeton, dossier, filtre] {
        auto listage = std::make_shared<Listage>(listerDossier(dossier, filtre));
        retour->poster([this, cle, jeton, listage] { recevoirListage(cle, jeton, listage); });
    });
}

void Rotator::recevoirListage(const QString &cle, quint64 jeton, const std::shared_ptr<Listage> &listage)
{
    auto it = suivis.find(cle);
    if (it == suivis.end() || it->jeton != jeton)
        return;
    it->enCours = false;
    ++nbListages;
    qCInfo(lcRotation) << listage->taille() << "pictures in" << it->dossier;
    lot.remplacer(cle, it->dossier, std::move(*listage));
    if (it->aRefaire) {
        it->aRefaire = false;
        lister(cle);
    }
    emit candidatsListes();
    if (tirageDemande && !verification) {
        tirageDemande = false;
        changerWallpaper();
    }
}

void Rotator::surChangement(const QString &dossier)
{
    for (auto it = suivis.cbegin(); it != suivis.cend(); ++it) {
        if (it->dossier == dossier)
            changes.insert(it.key());
    }
    // One listing for a burst: wait until the folder is quiet, but never longer than attenteMaxMs.
    if (!calme->isActive())
        depuisChangement.start();
    if (depuisChangement.elapsed() < attenteMaxMs)
        calme->start(calmeMs);
}

void Rotator::relisterChanges()
{
    const QSet<QString> aFaire = std::exchange(changes, {});
    for (const QString &cle : aFaire) {
        if (suivis.contains(cle))
            lister(cle);
    }
}

void Rotator::changerWallpaper()
{
    if (verification) {
        tirageDemande = true;
        return;
    }
    verifier(0);
}

void Rotator::verifier(int essai)
{
    const Tire tire = lot.tirer(bureau().compteur(), dernier);
    if (tire.cycleNeuf) {
        // Shares send no change notification: a new cycle lists every folder again at the latest.
        for (auto it = suivis.cbegin(); it != suivis.cend(); ++it)
            changes.insert(it.key());
        relisterChanges();
    }
    if (tire.chemin.isEmpty()) {
        // Asked before the first listing came back: the first picture comes with it.
        tirageDemande = std::any_of(suivis.cbegin(), suivis.cend(), [](const Suivi &s) { return s.enCours; });
        qCInfo(lcRotation) << "nothing to draw yet";
        return;
    }
    if (tire.chemin == dernierApplique) {
        qCInfo(lcRotation) << "only one picture, already shown";
        return;
    }
    verification = true;
    const std::shared_ptr<Boite> retour = boite;
    // Everything that reads the file happens here, off the GUI thread; the desktop gets a checked picture.
    Bureau *const b = bureau().appelableDeToutFil() ? &bureau() : nullptr;
    const bool decodable = bureau().exigeDecodable();
    lancerDetache([this, retour, tire, essai, b, decodable] {
        const QString natif = QDir::toNativeSeparators(tire.chemin);
        const bool present = fichierLisible(natif);
        const bool accepte = present && (!decodable || imageDecodable(natif));
        if (accepte) {
            if (b)
                b->remettre(natif);
            QSettings memoire(cheminMemoire(), QSettings::IniFormat);
            if (memoire.value(cleDernier).toString() != tire.chemin)
                memoire.setValue(cleDernier, tire.chemin);
        }
        retour->poster([this, tire, essai, present, accepte, b, natif] {
            if (accepte && !b)
                bureau().remettre(natif);
            recevoirVerification(tire, essai, present, accepte);
        });
    });
}

void Rotator::recevoirVerification(const Tire &tire, int essai, bool present, bool accepte)
{
    verification = false;
    if (accepte) {
        dernier = dernierApplique = tire.chemin;
    } else {
        qCInfo(lcRotation) << (present ? "not a picture the desktop can show" : "gone or unreadable")
                           << ", drawing another:" << tire.chemin;
        lot.abandonner(tire);
        // A file gone behind our back means its folder changed: list it again, as a notification would have.
        for (auto it = suivis.cbegin(); !present && it != suivis.cend(); ++it) {
            if (tire.chemin.startsWith(it->dossier + QLatin1Char('/')))
                surChangement(it->dossier);
        }
        if (essai + 1 < essaisMax)
            return verifier(essai + 1);
    }
    if (std::exchange(tirageDemande, false))
        changerWallpaper();
}
