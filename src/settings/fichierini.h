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
 * is written whole when the file went away meanwhile. A file that is not an ini file is neither kept nor ever
 * written. Values are in Qt's ini syntax, written as UTF-8, read as UTF-8 or else Latin-1.
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

    /** Why the file was not read as an ini file (a line that is neither a section, a key nor a comment, or
     * the file could not be opened); empty when it was. Nothing of it is then kept, and it is never written.
     */
    QString illisible() const { return raison; }

private:
    QString nom;
    Filtre garder;
    // Hashed: group names share long prefixes ("Emplacement_"), which a sorted map compares at every step.
    QHash<QString, Groupe> tenus;
    // Groups whose lines in the file go at the next write: removed, maybe written again.
    QSet<QString> remplaces;
    // Keys the file did not hold when last read or written.
    QSet<std::pair<QString, QString>> ajoutees;
    QString raison;
    bool change = false;
};
