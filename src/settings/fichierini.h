#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <utility>

/**
 * An ini file of which only the keys a filter names are read and kept, so that memory follows what the
 * program uses, not the file's size. Writing replaces those keys' lines in place and keeps every other byte
 * of the file (comments, line ends, other keys, a byte-order mark), as one atomic replacement; what it held
 * is written whole when the file went away meanwhile. Values are in Qt's ini syntax, read and written as
 * UTF-8.
 */
class FichierIni final
{
public:
    using Filtre = std::function<bool(const QString &groupe, const QString &cle)>;
    /** A group's keys with their texts, ordered by key: a handful, found by a pass, in one allocation. */
    using Groupe = QList<std::pair<QString, QString>>;

    FichierIni(const QString &chemin, Filtre garder);

    QString chemin() const { return nom; }
    /** The text of groupe/cle; a null string when absent. */
    QString valeur(const QString &groupe, const QString &cle) const;
    /** The names of the groups kept, in no order. */
    QStringList groupes() const { return tenus.keys(); }
    /** Sets groupe/cle to texte, to be written by the next enregistrer(); an unchanged text changes nothing.
     */
    void changer(const QString &groupe, const QString &cle, const QString &texte);
    /** Removes groupe with every line of it in the file, whatever its keys. */
    void supprimerGroupe(const QString &groupe);
    /** Writes the changes since the last write, if any; false when the file could not be replaced. */
    bool enregistrer();

    /** A line was neither a section, a key nor a comment, or the file could not be opened: its text is not
     * kept. */
    bool illisible() const { return erreur; }
    /** Groups left out because a kept key of theirs is not UTF-8. */
    QSet<QString> groupesEntaches() const { return entaches; }

private:
    void lire();

    QString nom;
    Filtre garder;
    // Hashed: group names share long prefixes ("Emplacement_"), which a sorted map compares at every step.
    QHash<QString, Groupe> tenus;
    // Groups whose lines in the file go at the next write: removed, or written over a group left out.
    QSet<QString> remplaces;
    QSet<QString> entaches;
    bool erreur = false;
    bool change = false;
};
