#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstring>

#include <memory>
#include <vector>

/** The matching names of one folder as a listing found them, in no order, packed: each name as the bytes it
 * shares with the one before (a count, up to 255), the rest of its bytes and a NUL. Names listed together
 * share most of their bytes ("photo-000123.jpg" after "photo-000122.jpg" costs 3 bytes and 2). Every 16th
 * name is whole and marked, so one is found by its index. */
class Listage final
{
public:
    void ajouter(const QString &nom);
    void ajouter(const char *nom, size_t longueur);
    /** Room for names of that many bytes in all, taken at once. */
    void reserver(qsizetype octets) { noms.reserve(octets); }
    /** Gives back the room reserved for names to come. */
    void serrer();
    int taille() const { return nombre; }
    QByteArray nom(int i) const;
    /** Calls f(index, name) for every name, in index order, at the cost of reading them once; the name is
     * valid during the call only. */
    template<typename F>
    void parcourir(F f) const
    {
        QByteArray courant;
        const char *p = noms.constData();
        for (int i = 0; i < nombre; ++i) {
            p = suivant(p, &courant);
            f(i, QByteArrayView(courant));
        }
    }

private:
    // Rebuilds in courant the name at p from the one before it, and gives the next name's place.
    static const char *suivant(const char *p, QByteArray *courant);

    QByteArray noms;
    std::vector<quint32> reperes;
    // The last name added, while the listing grows.
    QByteArray precedent;
    int nombre = 0;
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

    /** How many pictures can be drawn. */
    int nombre() const;
    /** How many of them this cycle has not drawn yet. */
    int restants() const;
    /** Every picture that can be drawn, as full paths. */
    QStringList chemins() const;

private:
    struct Partie;
    Partie *trouver(const QString &cle) const;
    std::vector<std::unique_ptr<Partie>> parties;
    // Where each location's part is: thousands of locations listed one by one must not each scan them all.
    QHash<QString, size_t> index;
    quint64 prochainId = 1;
};
