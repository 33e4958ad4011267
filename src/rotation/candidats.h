#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

/** The matching names of one folder as a listing found them, packed: the disk's bytes back to back, in no
 * order. */
class Listage final
{
public:
    void ajouter(const QString &nom);
    void ajouter(const char *nom, size_t longueur);
    /** Room for names of that many bytes in all, taken at once. */
    void reserver(qsizetype octets) { noms.reserve(octets); }
    /** Gives back the room reserved for names to come. */
    void serrer();
    int taille() const { return int(debuts.size()); }
    QByteArrayView nom(int i) const;

private:
    QByteArray noms;
    std::vector<quint32> debuts;
};

/** Lists a folder's regular files matching one wildcard pattern (hidden ones left out). Any thread. */
Listage listerDossier(const QString &dossier, const QString &filtre);

/** One drawn candidate, enough to find it again. */
struct Tire
{
    QString chemin;
    quint64 partie = 0;
    int index = -1;
    bool cycleNeuf = false;
};

/**
 * The candidate pictures, one part per location, each replaceable by a new listing without touching the
 * others. Draws without repetition: within a cycle no picture twice, a picture listed mid-cycle joins it,
 * and a picture drawn this cycle stays drawn when its folder is listed again.
 */
class Candidats final
{
public:
    Candidats();
    ~Candidats();

    /** Gives the location cle (new or not) the pictures of this listing of dossier. */
    void remplacer(const QString &cle, const QString &dossier, Listage listage);
    /** Forgets location cle and its pictures. */
    void retirer(const QString &cle);
    /**
     * Draws one picture from hasard, never eviter when another one can be drawn; a cycle that is over, or
     * whose last undrawn picture is eviter, starts again. Empty when there are none.
     */
    Tire tirer(quint32 hasard, const QString &eviter);
    /** Leaves a drawn picture out of every cycle until its location is listed again. */
    void abandonner(const Tire &tire);
    /** Gives a drawn picture back to the cycle, as if it had not been drawn; one known by its path alone
     * (no index) is looked for among the drawn pictures of every location. */
    void remettre(const Tire &tire);

    /** How many pictures can be drawn. */
    int nombre() const;
    /** Every picture that can be drawn, as full paths. */
    QStringList chemins() const;

private:
    struct Partie;
    int restants() const;
    // By location: thousands of locations listed one by one must not each scan them all.
    QHash<QString, Partie> parties;
    quint64 prochainId = 1;
};
