#include "rotator.h"

#include "commun/nomsfichiers.h"
#include "commun/ouvrier.h"
#include "desktop/bureau.h"
#include "desktop/image/fichierimage.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"
#include "veilleur.h"

#include <QDir>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcRotation, "papirol2.rotation", QtCriticalMsg)

namespace {
// Drawn files found gone, one after another, before a tick gives up.
constexpr int essaisMax = 32;
// Every desktop answers within this, even swaybg on a loaded machine; past it the tick is given up.
constexpr int delaiBureauMs = 60000;
// How long a draw waits for the listing of a folder whose files it found gone, and how long a draw may go on
// finding files gone before it gives up.
constexpr int delaiListageMs = 3000;
constexpr int dureeTirageMaxMs = 10000;

// The interval the timer really gets: 1 .. 2,147,483 seconds, so seconds × 1000 fits an int.
int borner(int secondes)
{
    return qBound(1, secondes, std::numeric_limits<int>::max() / 1000);
}
} // namespace

// What a listing lane hands back: the names, and the folder's watch when it was asked to take one.
struct Rotator::Liste
{
    Listage listage;
    Veilleur::Marque marque = 0;
    bool pose = false;
};

Rotator::Rotator()
    : minuteur(new QTimer)
    , calme(new QTimer(this))
    , veilleur(new Veilleur(this))
    , controle(std::make_unique<Ouvrier>(this))
    , delaiBureau(new QTimer(this))
    , delaiListage(new QTimer(this))
    , unParEcran(lireParEcran())
{
    connect(minuteur, &QTimer::timeout, this, &Rotator::changerWallpaper);
    calme->setSingleShot(true);
    connect(calme, &QTimer::timeout, this, &Rotator::relisterChanges);
    connect(veilleur, &Veilleur::changes, this, &Rotator::surChangements);
    delaiListage->setSingleShot(true);
    delaiListage->setInterval(delaiListageMs);
    connect(delaiListage, &QTimer::timeout, this, [this] {
        if (reprise) {
            qCInfo(lcRotation) << "no listing in time; the next tick tries again";
            reprise.reset();
            terminerTirage();
        }
    });
    delaiBureau->setSingleShot(true);
    delaiBureau->setInterval(delaiBureauMs);
    connect(delaiBureau, &QTimer::timeout, this, [this] {
        if (attendu)
            recevoirResultat(attendu->cle(), Bureau::Resultat::Injoignable);
    });
    horloge.start();
}

Rotator::~Rotator()
{
    // Results of listings and checks still under way go nowhere from here on.
    suivis.clear();
    controle.reset();
    delete minuteur;
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
        s.jeton = ++dernierJeton;
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
        veilleur->detacher(it.key());
        changes.remove(it.key());
        it = suivis.erase(it);
    }
    for (auto it = voulus.cbegin(); it != voulus.cend(); ++it) {
        if (suivis.contains(it.key()))
            continue;
        suivis.insert(it.key(), it.value());
        lister(it.key());
    }
}

void Rotator::lister(const QString &cle)
{
    Suivi &s = suivis[cle];
    if (!s.listeur)
        s.listeur = std::make_shared<Ouvrier>(this);
    const quint64 numero = ++s.demande;
    // Watched before it is listed, so that no change falls between the two.
    Veilleur::Poseur poseur = veilleur->surveille(cle) ? nullptr : veilleur->poseur();
    auto lancer = [this, cle, jeton = s.jeton, numero, poseur = std::move(poseur)] {
        const auto it = suivis.constFind(cle);
        // Dropped, or asked again, while it waited.
        if (it == suivis.cend() || it->jeton != jeton || it->demande != numero)
            return;
        it->listeur->planifier(
            [dossier = it->dossier, filtre = it->filtre, poseur] {
                auto liste = std::make_shared<Liste>();
                liste->pose = bool(poseur);
                if (poseur)
                    liste->marque = poseur(dossier);
                liste->listage = listerDossier(dossier, filtre);
                return liste;
            },
            [this, cle, jeton, numero](const std::shared_ptr<Liste> &liste) {
                recevoirListage(cle, jeton, numero, liste);
            });
    };
    const qint64 attente = debutListages - horloge.elapsed();
    if (attente > 0)
        QTimer::singleShot(int(attente), this, lancer);
    else
        lancer();
}

void Rotator::recevoirListage(const QString &cle, quint64 jeton, quint64 numero,
                              const std::shared_ptr<Liste> &liste)
{
    auto it = suivis.find(cle);
    if (it == suivis.end() || it->jeton != jeton) {
        veilleur->abandonner(liste->marque);
        return;
    }
    const int nombre = liste->listage.taille();
    if (liste->pose) {
        veilleur->attacher(cle, liste->marque);
        if (liste->marque == 0 && nombre > 0)
            qCInfo(lcRotation) << "no change notification for" << it->dossier << "; listed at each cycle";
    }
    it->recu = numero;
    ++nbListages;
    if (nombre == 0) {
        // A folder missing or empty, a disk not mounted yet: asked again at ticks with nothing to draw, less
        // and less often, up to once a minute; said once, however often it is looked at.
        if (it->vides == 0)
            qCInfo(lcRotation) << "no picture in" << it->dossier << "(missing, empty or unreadable)";
        it->prochainEssai = horloge.elapsed() + std::min(1000 << std::min(it->vides, 6), 60000);
        ++it->vides;
    } else {
        qCInfo(lcRotation) << nombre << "pictures in" << it->dossier;
        it->vides = 0;
    }
    lot.remplacer(cle, it->dossier, std::move(liste->listage));
    if (reprise && reprise->cle == cle && it->recu >= reprise->numero) {
        delaiListage->stop();
        const int essai = std::exchange(reprise, std::nullopt)->essai;
        tirageEnCours = false;
        return verifier(essai);
    }
    // Only pictures can answer a draw asked for: an empty listing going back to the draw would have it look
    // at every location again, for each location.
    if (tirageDemande && !tirageEnCours && nombre > 0) {
        tirageDemande = false;
        changerWallpaper();
    }
}

void Rotator::surChangements(const QSet<QString> &cles)
{
    changes.unite(cles);
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
    if (tirageEnCours) {
        tirageDemande = true;
        return;
    }
    debutTirage.start();
    verifier(0);
}

Tire Rotator::tirerUne(const QString &eviter, bool *toutEcarte)
{
    Tire tire = lot.tirer(QRandomGenerator::global()->generate(), eviter);
    // A set-aside picture drawn counts as shown in this cycle; a cycle holds each once, and a draw starts at
    // most one cycle, so past twice their number every picture left is set aside.
    for (int n = 0; !tire.chemin.isEmpty() && historique.estEcartee(tire.chemin); ++n) {
        if (n > 2 * int(historique.ecartees().size())) {
            *toutEcarte = true;
            return {};
        }
        const bool neuf = tire.cycleNeuf;
        tire = lot.tirer(QRandomGenerator::global()->generate(), eviter);
        tire.cycleNeuf = tire.cycleNeuf || neuf;
    }
    return tire;
}

QList<Bureau::Ecran> Rotator::ecransDuTirage() const
{
    if (!unParEcran || !bureau().montreParEcran())
        return {};
    const QList<Bureau::Ecran> ecrans = bureau().lireEcrans();
    return ecrans.size() > 1 ? ecrans : QList<Bureau::Ecran>();
}

void Rotator::verifier(int essai)
{
    const QString courante = bureau().imageCourante();
    Attendu demande {{}, essai, false, ecransDuTirage(), {}, {}};
    const bool completant = std::exchange(completer, false) && !demande.ecrans.isEmpty();
    // One picture per monitor to fill, all different while there are enough: with fewer, they are shared.
    QStringList avant;
    QList<int> aRemplir;
    for (int i = 0; i < demande.ecrans.size(); ++i) {
        avant << surEcran.value(demande.ecrans[i].nom, courante);
        if (!completant || !surEcran.contains(demande.ecrans[i].nom))
            aRemplir << i;
    }
    const int voulues = std::max(1, int(aRemplir.size()));
    const bool assez = lot.nombre() >= std::max(1, int(demande.ecrans.size()));
    QList<Tire> tires;
    bool toutEcarte = false, cycleNeuf = false;
    for (int n = 0; tires.size() < voulues && n < essaisMax + voulues; ++n) {
        Tire tire = tirerUne(tires.isEmpty() ? courante : tires.last().chemin, &toutEcarte);
        if (tire.chemin.isEmpty())
            break;
        cycleNeuf = cycleNeuf || tire.cycleNeuf;
        // A cycle started within the round may draw a picture of the round, or one kept on screen, again.
        const bool pris = std::any_of(tires.cbegin(), tires.cend(),
                                      [&](const Tire &t) { return t.chemin == tire.chemin; })
            || (completant && assez && avant.contains(tire.chemin));
        if (pris) {
            lot.remettre(tire);
            if (!assez && tires.size() >= lot.nombre())
                break;
            continue;
        }
        tires << tire;
    }
    if (toutEcarte && tires.isEmpty()) {
        qCInfo(lcRotation) << "every picture is set aside";
        return;
    }
    if (cycleNeuf) {
        // Shares send no change notification: a new cycle lists every folder again at the latest.
        for (auto it = suivis.cbegin(); it != suivis.cend(); ++it)
            changes.insert(it.key());
        relisterChanges();
    }
    if (tires.isEmpty()) {
        // Nothing listed may be there now: a folder back after it was gone, a disk mounted again.
        for (auto it = suivis.begin(); it != suivis.end(); ++it) {
            if (it->recu == it->demande && horloge.elapsed() >= it->prochainEssai)
                lister(it.key());
        }
        // Asked before a listing came back: the picture comes with it.
        tirageDemande
            = std::any_of(suivis.cbegin(), suivis.cend(), [](const Suivi &s) { return s.recu != s.demande; });
        qCInfo(lcRotation) << "nothing to draw yet";
        return;
    }
    demande.tire = tires.first();
    if (!demande.ecrans.isEmpty()) {
        demande.chemins = avant;
        for (int j = 0; j < aRemplir.size(); ++j)
            demande.chemins[aRemplir[j]] = tires[j % tires.size()].chemin;
        // No monitor keeps its picture while another changes: swap with one that can take it.
        for (const int i : std::as_const(aRemplir)) {
            for (const int j : std::as_const(aRemplir)) {
                if (demande.chemins[i] == avant[i] && demande.chemins[j] != avant[i]
                    && demande.chemins[i] != avant[j])
                    demande.chemins.swapItemsAt(i, j);
            }
        }
    }
    if (montree && (demande.chemins.isEmpty() ? demande.tire.chemin == courante : demande.chemins == avant)) {
        qCInfo(lcRotation) << "only one picture, already shown";
        return;
    }
    tirageEnCours = true;
    QStringList aVerifier;
    for (const Tire &t : std::as_const(tires))
        aVerifier << t.chemin;
    // Everything that reads the files happens there, off the GUI thread; the desktop gets checked pictures.
    controle->planifier(
        [aVerifier, decodable = bureau().exigeDecodable(), bruts = bureau().accepteNomsBruts()] {
            QList<Verification> verifications;
            for (const QString &chemin : aVerifier)
                verifications << verifierFichier(chemin, decodable, bruts);
            return verifications;
        },
        [this, demande, tires](const QList<Verification> &v) { recevoirVerification(demande, tires, v); });
}

Rotator::Verification Rotator::verifierFichier(const QString &chemin, bool decodable, bool bruts)
{
    const QString natif = QDir::toNativeSeparators(chemin);
    const bool nomPris = bruts || nomEnTexte(natif);
    Verification v;
    v.present = fichierLisible(natif);
    v.accepte = v.present && nomPris && (!decodable || imageDecodable(natif));
    if (v.present && !nomPris)
        qCInfo(lcRotation) << "this desktop takes file names as text; not UTF-8:" << natif;
    return v;
}

QString Rotator::courante() const
{
    return montree ? bureau().imageCourante() : QString();
}

QStringList Rotator::courantes() const
{
    if (!montree)
        return {};
    return historique.ecrans().isEmpty() ? QStringList {courante()} : historique.ecrans();
}

void Rotator::changerParEcran(bool parEcran)
{
    unParEcran = parEcran;
    if (montree)
        changerWallpaper();
}

void Rotator::rendre(const QHash<QString, QString> &avant)
{
    for (auto it = avant.cbegin(); it != avant.cend(); ++it) {
        if (!surEcran.contains(it.key()) && !surEcran.values().contains(it.value())) {
            Tire rendue;
            rendue.chemin = it.value();
            lot.remettre(rendue);
        }
    }
}

void Rotator::on_ecransChanges()
{
    // A monitor plugged in gets a picture of its own at once; the others keep theirs. One unplugged is
    // forgotten, its picture back in the round, so that it gets a new one when it comes back.
    const QList<Bureau::Ecran> ecrans = ecransDuTirage();
    const QHash<QString, QString> avant = std::exchange(surEcran, {});
    for (auto it = avant.cbegin(); it != avant.cend(); ++it) {
        if (std::any_of(ecrans.cbegin(), ecrans.cend(),
                        [&it](const Bureau::Ecran &e) { return e.nom == it.key(); }))
            surEcran.insert(it.key(), it.value());
    }
    rendre(avant);
    if (!montree || std::all_of(ecrans.cbegin(), ecrans.cend(), [this](const Bureau::Ecran &e) {
            return surEcran.contains(e.nom);
        }))
        return;
    if (tirageEnCours) {
        tirageDemande = true;
        return;
    }
    completer = true;
    changerWallpaper();
}

QString Rotator::piste(const QString &ecran) const
{
    const QList<Bureau::Ecran> ecrans = surEcran.isEmpty() ? QList<Bureau::Ecran>() : ecransDuTirage();
    return ecrans.size() > 1 && ecran != ecrans.first().nom && surEcran.contains(ecran) ? ecran : QString();
}

bool Rotator::precedent(const QString &ecran)
{
    const QString surPiste = piste(ecran);
    const QStringList avant = historique.precedentes(surPiste);
    if (avant.isEmpty())
        return false;
    // After the picture on its way, which it then goes back from.
    if (tirageEnCours) {
        retourDemande = true;
        return true;
    }
    tirageEnCours = true;
    controle->planifier(
        [avant, decodable = bureau().exigeDecodable(), bruts = bureau().accepteNomsBruts()] {
            for (const QString &chemin : avant) {
                if (verifierFichier(chemin, decodable, bruts).accepte)
                    return chemin;
                qCInfo(lcRotation) << "gone or unreadable, going further back:" << chemin;
            }
            return QString();
        },
        [this, surPiste](const QString &chemin) {
            if (chemin.isEmpty())
                return terminerTirage();
            Tire tire;
            tire.chemin = chemin;
            montrer(Attendu {tire, essaisMax, true, {}, {}, surPiste});
        });
    return true;
}

bool Rotator::nePlusAfficher(const QString &ecran)
{
    const QString surPiste = piste(ecran),
                  chemin = surPiste.isEmpty() ? courante() : surEcran.value(surPiste);
    if (chemin.isEmpty())
        return false;
    qCInfo(lcRotation) << "set aside:" << chemin;
    historique.ecarter(chemin);
    emit memoireChangee();
    // Each monitor showing it gets another; the others keep theirs.
    const qsizetype avant = surEcran.size();
    surEcran.removeIf([&chemin](const auto &entree) { return entree.value() == chemin; });
    completer = surEcran.size() < avant && !surEcran.isEmpty();
    changerWallpaper();
    return true;
}

void Rotator::reprendre(const QString &chemin)
{
    historique.reprendre(chemin);
    emit memoireChangee();
}

void Rotator::recevoirVerification(const Attendu &demande, const QList<Tire> &tires,
                                   const QList<Verification> &verifications)
{
    const auto refus = std::find_if(verifications.cbegin(), verifications.cend(),
                                    [](const Verification &v) { return !v.accepte; });
    if (refus == verifications.cend())
        return montrer(demande);
    // The pictures of the round that can be shown go back to the cycle; the others are left out.
    const qsizetype premier = refus - verifications.cbegin();
    for (qsizetype i = 0; i < tires.size(); ++i) {
        if (verifications[i].accepte)
            lot.remettre(tires[i]);
        else if (i != premier)
            lot.abandonner(tires[i]);
    }
    qCInfo(lcRotation) << (refus->present ? "not a picture the desktop can show" : "gone or unreadable")
                       << ", drawing another:" << tires[premier].chemin;
    essayerAutre(tires[premier], demande.essai, refus->present);
}

void Rotator::montrer(const Attendu &demande)
{
    attendu = demande;
    // Going back changes that monitor's picture only.
    if (demande.retour && !surEcran.isEmpty()) {
        attendu->ecrans = ecransDuTirage();
        for (const Bureau::Ecran &e : std::as_const(attendu->ecrans))
            attendu->chemins << surEcran.value(e.nom, demande.tire.chemin);
        for (int i = 0; i < attendu->chemins.size(); ++i) {
            if (i == 0 ? demande.piste.isEmpty() : attendu->ecrans[i].nom == demande.piste)
                attendu->chemins[i] = demande.tire.chemin;
        }
    }
    Bureau *b = &bureau();
    connect(b, &Bureau::imageTraitee, this, &Rotator::recevoirResultat, Qt::UniqueConnection);
    connect(b, &Bureau::ecransChanges, this, &Rotator::on_ecransChanges, Qt::UniqueConnection);
    delaiBureau->start();
    // A copy: a desktop that answers within the call reaches recevoirResultat, which lets attendu go.
    const Attendu enCours = *attendu;
    if (enCours.chemins.isEmpty())
        b->montrer(enCours.tire.chemin);
    else
        b->montrerParEcran(enCours.ecrans, enCours.chemins);
}

void Rotator::recevoirResultat(const QString &chemin, Bureau::Resultat resultat)
{
    if (!attendu || chemin != attendu->cle()) {
        // A desktop that came late (a shell still starting at login) shows a picture given up on.
        montree = montree || resultat == Bureau::Resultat::Montree;
        return;
    }
    delaiBureau->stop();
    const Attendu a = *std::exchange(attendu, std::nullopt);
    switch (resultat) {
    case Bureau::Resultat::Montree: {
        montree = true;
        // Each monitor's track keeps the pictures it showed; the primary's is the one of the single picture.
        QHash<QString, QString> parPiste;
        if (a.retour || a.chemins.isEmpty())
            parPiste.insert(a.piste, a.tire.chemin);
        const QHash<QString, QString> avant = std::exchange(surEcran, {});
        for (int i = 0; i < a.chemins.size(); ++i) {
            const QString &nom = a.ecrans[i].nom;
            surEcran.insert(nom, a.chemins[i]);
            if (!a.retour && avant.value(nom) != a.chemins[i])
                parPiste.insert(i == 0 ? QString() : nom, a.chemins[i]);
        }
        // A monitor unplugged before its news came.
        if (!a.chemins.isEmpty())
            rendre(avant);
        historique.noter(parPiste, a.retour, a.chemins);
        emit memoireChangee();
        break;
    }
    case Bureau::Resultat::Refusee:
        qCInfo(lcRotation) << "the desktop could not show" << chemin;
        if (a.retour)
            break;
        // Which picture of a round was refused is not known: the round is given up, and the next tick
        // draws another.
        if (!a.chemins.isEmpty())
            break;
        return essayerAutre(a.tire, a.essai, true);
    case Bureau::Resultat::Injoignable:
        qCInfo(lcRotation) << "the desktop was not changed; the next tick tries again";
        break;
    }
    terminerTirage();
}

void Rotator::essayerAutre(const Tire &tire, int essai, bool present)
{
    lot.abandonner(tire);
    if (essai + 1 >= essaisMax || debutTirage.elapsed() > dureeTirageMaxMs) {
        qCInfo(lcRotation) << "no picture found in" << essai + 1 << "tries; the next tick tries again";
        return terminerTirage();
    }
    // A file gone behind our back means its folder changed: the draw goes on from a new listing of it,
    // so that files coming and going fast do not use up every try.
    for (auto it = suivis.begin(); !present && it != suivis.end(); ++it) {
        if (!tire.chemin.startsWith(it->dossier + QLatin1Char('/')))
            continue;
        lister(it.key());
        reprise = Reprise {it.key(), it->demande, essai + 1};
        delaiListage->start();
        return;
    }
    tirageEnCours = false;
    verifier(essai + 1);
}

void Rotator::terminerTirage()
{
    tirageEnCours = false;
    if (std::exchange(retourDemande, false) && precedent())
        return;
    if (std::exchange(tirageDemande, false))
        changerWallpaper();
}
