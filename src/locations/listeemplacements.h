#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QString>

/** One location: a folder, the pattern its pictures' names match, and whether it is in the rotation. */
struct Emplacement
{
    QString chemin;
    QString filtre;
    bool selectionne = false;
};

/**
 * The locations, shown as "Filtre" and "Chemin" columns. Once loaded from the settings file, the model keeps
 * it in step: every change below is written at once, row n as group n.
 */
class ListeEmplacements final : public QAbstractListModel
{
public:
    ListeEmplacements();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /** Folder of a row, "/" separators. */
    QString cheminEmplacement(int ligne) const;
    /** File-name pattern of a row, as typed. */
    QString filtreEmplacement(int ligne) const;
    /** Whether a row takes part in the rotation. */
    bool estSelectionne(int ligne) const;
    /** Sets a row's flag; the flag is not shown, so no signal. */
    void setSelectionne(int ligne, bool selectionne);

    /** Appends a new unselected row, unless the exact pair is already listed. */
    void ajouterEmplacement(const QString &chemin, const QString &filtre);
    /** Removes a row, the later ones moving up a group; a row outside the list changes nothing. */
    void supprimerEmplacement(int ligne);

    /**
     * Fills the empty model from the settings file: every location group in the order of its number, gaps
     * included, without writing it. Groups without a path are left out; groups repeating a pair are one row.
     * The file is renumbered from 0 at the first location added or removed.
     */
    void charger();

private:
    bool existe(int ligne) const { return ligne >= 0 && ligne < lignes.size(); }
    /** Writes the rows from debut on as groups of their numbers (from 0 while the file is not so) and
     * removes the other location groups, in one write. */
    void renumeroter(int debut);

    QList<Emplacement> lignes;
    // The rows' (path, filter) pairs, so that refusing a repeated pair does not cost a pass over the list.
    QSet<std::pair<QString, QString>> paires;
    // Each row's groups in the file, when they are not row n as group n alone.
    QList<QList<int>> groupes;
    // Set once loaded: a model never loaded (a test's, a benchmark's) touches no file.
    bool relie = false;
};
