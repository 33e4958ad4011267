#pragma once

#include "candidats.h"
#include "historique.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>

#include "desktop/bureau.h"

#include <optional>

class QTimer;
class ListeEmplacements;
class Ouvrier;
class Veilleur;

/**
 * Draws the pictures of the selected locations in random order, none twice per cycle, on a timer. Folders
 * are listed, and drawn files checked, off the GUI thread; the candidates follow the folders as they change.
 */
class Rotator final : public QObject
{
    Q_OBJECT

public:
    Rotator();
    ~Rotator() override;

    /** Sets the interval in seconds and stores it; a running timer restarts with it. */
    void changerIntervalle(int secondes);
    /** Changes the picture now (or as soon as there is one), then ticks every stored interval. */
    void demarrer();
    /** Stops the ticks; the cycle is kept. */
    void arreter();
    /** Follows the selected locations: newly selected ones are listed, the others dropped. Returns at once.
     */
    void chargerFichiers(ListeEmplacements *modele);
    /** Listings asked for in the next ms milliseconds start then: at start-up, a large folder listed while
     * the tray embeds the icon delays it. A change asked meanwhile comes with the listing. */
    void differerListages(int ms) { debutListages = horloge.elapsed() + ms; }

    /** Whether the timer runs. */
    bool estActif() const;
    /** The timer's interval in milliseconds. */
    int intervalleMs() const;
    /** The pictures that can be drawn, as listed so far. */
    QStringList candidats() const { return lot.chemins(); }
    /** How many listings have come back since construction. */
    int listages() const { return nbListages; }

    /** The picture this run showed last (the primary monitor's); empty before any. */
    QString courante() const;
    /** What each monitor shows, the primary first; the one picture for all when they share it. */
    QStringList courantes() const;
    /** Whether each monitor gets a picture of its own where the desktop can show them. */
    bool parEcran() const { return unParEcran; }
    /** Turns it on or off, and draws again at once if a picture is shown. */
    void changerParEcran(bool parEcran);
    /** The pictures shown lately and those set aside. */
    const Historique &memoire() const { return historique; }
    /** Shows again the newest picture shown before the current one that is still there, on that monitor
     * (by name; the primary when empty or unknown); false when the history holds none. The pictures not yet
     * shown this cycle stay as they were. */
    bool precedent(const QString &ecran = {});
    /** Sets that monitor's picture aside for good (the file is left alone) and shows another there; false
     * when none is shown. */
    bool nePlusAfficher(const QString &ecran = {});
    /** Takes a set-aside picture back into the rotation; an empty name takes them all. */
    void reprendre(const QString &chemin);

    /** How long a folder must be quiet after a change before it is listed again, and the most it waits. */
    static constexpr int calmeMs = 300, attenteMaxMs = 3000;

public slots:
    /** Draws the next picture and shows it; the same picture is never shown twice in a row. */
    void changerWallpaper();

signals:
    /** A picture was shown, or the history or the pictures set aside changed. */
    void memoireChangee();

private:
    struct Suivi
    {
        QString dossier;
        QString filtre;
        // Its own lane: a dead share holds up only its own listings. The token tells this location's results
        // from those of a location of the same name dropped and added again meanwhile.
        std::shared_ptr<Ouvrier> listeur;
        quint64 jeton = 0;
        // The last listing asked for and the last one received: a listing is under way while they differ.
        quint64 demande = 0;
        quint64 recu = 0;
        // Listings in a row that found nothing, and when a tick with nothing to draw may list it again.
        int vides = 0;
        qint64 prochainEssai = 0;
    };
    struct Verification
    {
        bool present = false;
        bool accepte = false;
    };
    /** Everything that reads a picture before the desktop gets it; any thread. */
    static Verification verifierFichier(const QString &chemin, bool decodable, bool bruts);

    void lister(const QString &cle);
    struct Liste;
    void recevoirListage(const QString &cle, quint64 jeton, quint64 numero,
                         const std::shared_ptr<Liste> &liste);
    void verifier(int essai);
    /** Draws one picture, set-aside ones skipped; empty when none is left, with toutEcarte when all are set
     * aside. */
    Tire tirerUne(const QString &eviter, bool *toutEcarte);
    /** The monitors to draw for, each its own picture; empty when one picture shows on all. */
    QList<Bureau::Ecran> ecransDuTirage() const;
    struct Attendu;
    void recevoirVerification(const Attendu &demande, const QList<Tire> &tires,
                              const QList<Verification> &verifications);
    void on_ecransChanges();
    /** Gives the pictures of monitors gone since avant back to the round, unless another monitor shows them.
     */
    void rendre(const QHash<QString, QString> &avant);
    /** The history's track of that monitor: its name when it has a picture of its own, else the primary's. */
    QString piste(const QString &ecran) const;
    void montrer(const Attendu &demande);
    void recevoirResultat(const QString &chemin, Bureau::Resultat resultat);
    /** Drops a drawn picture that cannot be shown and draws another, as long as tries are left. */
    void essayerAutre(const Tire &tire, int essai, bool present);
    void terminerTirage();
    void surChangements(const QSet<QString> &cles);
    void relisterChanges();

    QTimer *minuteur;
    Candidats lot;
    QHash<QString, Suivi> suivis;
    QSet<QString> changes;
    QTimer *calme;
    QElapsedTimer depuisChangement;
    QElapsedTimer horloge;
    qint64 debutListages = 0;
    QElapsedTimer debutTirage;
    Veilleur *veilleur;
    Historique historique;
    // The check of a drawn file, off the GUI thread.
    std::unique_ptr<Ouvrier> controle;
    // The picture handed to the desktop, until it says what became of it; bounded by delaiBureau.
    struct Attendu
    {
        Tire tire;
        int essai = 0;
        // Gone back to from the history: no other is drawn in its place.
        bool retour = false;
        // A picture per monitor, the primary's first; empty when one shows on all.
        QList<Bureau::Ecran> ecrans;
        QStringList chemins;
        // The monitor's track gone back on.
        QString piste;
        QString cle() const { return chemins.isEmpty() ? tire.chemin : chemins.first(); }
    };
    std::optional<Attendu> attendu;
    QTimer *delaiBureau;
    // A draw that found a file gone waits for its folder's new listing, then goes on with fresh names;
    // bounded by delaiListage.
    struct Reprise
    {
        QString cle;
        quint64 numero = 0;
        int essai = 0;
    };
    std::optional<Reprise> reprise;
    QTimer *delaiListage;
    quint64 dernierJeton = 0;
    int nbListages = 0;
    bool tirageEnCours = false;
    bool tirageDemande = false;
    bool retourDemande = false;
    // Whether the desktop showed a picture since start: one it showed before may be gone from the screen.
    bool montree = false;
    bool unParEcran = false;
    // What each monitor shows, by its name, when each has its own; the next draw fills only monitors
    // missing from it when completer is set.
    QHash<QString, QString> surEcran;
    bool completer = false;
};
