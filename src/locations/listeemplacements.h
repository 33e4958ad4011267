#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QStringList>

/** The locations (folder, file-name filter, selected flag), shown as "Filtre" and "Chemin" columns. */
class ListeEmplacements final : public QAbstractListModel
{
public:
    ListeEmplacements();
    ~ListeEmplacements() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

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
    /** Removes a row; a row outside the list changes nothing. */
    void supprimerEmplacement(int ligne);

    /**
     * Fills the empty model from the settings file: every location group in the order of its number, gaps
     * included. Groups without a path or repeating a pair are dropped; when that or the numbering leaves
     * group n other than row n, the groups are written back numbered from 0, in one write.
     */
    void charger();

private:
    bool existe(int ligne) const { return ligne >= 0 && ligne < chemins->size(); }

    QStringList *chemins;
    QStringList *filtres;
    QList<bool> *selections;
    // The rows' (path, filter) pairs, so that refusing a repeated pair does not cost a pass over the list.
    QSet<std::pair<QString, QString>> paires;
};
