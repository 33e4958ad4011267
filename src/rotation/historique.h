#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class QSettings;

/**
 * The pictures shown lately and those set aside for good, kept across runs in rotation.ini beside the last
 * picture, outside the settings file. Their memory is their own size: names are never indexed against the
 * candidates.
 */
class Historique final
{
public:
    /** How many pictures shown are kept. */
    static constexpr int taille = 50;

    /** Reads what the last run kept. */
    Historique();

    /** The pictures just shown, by the monitor's track (see piste), each after its track's place, which moves
     * to it; one shown by going back only moves the place to it. ecrans is what each monitor shows, the
     * primary first, when each has its own. */
    void noter(const QHash<QString, QString> &parPiste, bool retour, const QStringList &ecrans = {});
    /** What each monitor showed last, the primary first, when each had its own; empty otherwise. */
    const QStringList &ecrans() const { return parEcran; }
    /** The pictures a track showed before the one at its place, newest first, set-aside ones left out. */
    QStringList precedentes(const QString &piste = {}) const;

    bool estEcartee(const QString &chemin) const { return ensemble.contains(chemin); }
    /** Set aside, oldest first. */
    const QStringList &ecartees() const { return liste; }
    void ecarter(const QString &chemin);
    /** Takes one picture back into the rotation; an empty name takes them all. */
    void reprendre(const QString &chemin);

private:
    void enregistrer() const;

    struct Piste
    {
        QStringList montrees;
        int place = -1;
    };
    // By monitor name; the primary's, or the one picture on all, is the unnamed track.
    QHash<QString, Piste> pistes;
    QStringList liste;
    QSet<QString> ensemble;
    QStringList parEcran;
};

/** The pictures on screen as kept across runs, one per monitor when each has its own; empty before any. */
QStringList imagesAffichees();
