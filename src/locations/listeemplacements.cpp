#include "listeemplacements.h"

#include "settings/configuration.h"

ListeEmplacements::ListeEmplacements()
    : QAbstractListModel(nullptr)
{
}

// A list has no children: counting rows under a valid parent would make views recurse.
int ListeEmplacements::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(lignes.size());
}

int ListeEmplacements::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ListeEmplacements::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !existe(index.row()))
        return {};
    if (index.column() == 0)
        return lignes.at(index.row()).filtre;
    if (index.column() == 1)
        return lignes.at(index.row()).chemin;
    return {};
}

QVariant ListeEmplacements::headerData(int section, Qt::Orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("Filtre");
    if (section == 1)
        return QStringLiteral("Chemin");
    return {};
}

Qt::ItemFlags ListeEmplacements::flags(const QModelIndex &index) const
{
    return QAbstractItemModel::flags(index);
}

QString ListeEmplacements::cheminEmplacement(int ligne) const
{
    return existe(ligne) ? lignes.at(ligne).chemin : QString();
}

QString ListeEmplacements::filtreEmplacement(int ligne) const
{
    return existe(ligne) ? lignes.at(ligne).filtre : QString();
}

bool ListeEmplacements::estSelectionne(int ligne) const
{
    return existe(ligne) && lignes.at(ligne).selectionne;
}

void ListeEmplacements::setSelectionne(int ligne, bool selectionne)
{
    if (!existe(ligne) || lignes.at(ligne).selectionne == selectionne)
        return;
    lignes[ligne].selectionne = selectionne;
    if (relie)
        enregistrerEmplacement(ligne, lignes.at(ligne).chemin, lignes.at(ligne).filtre, selectionne);
}

void ListeEmplacements::ajouterEmplacement(const QString &chemin, const QString &filtre)
{
    if (paires.contains({chemin, filtre}))
        return;
    paires.insert({chemin, filtre});
    const int n = rowCount();
    beginInsertRows(QModelIndex(), n, n);
    lignes.append({chemin, filtre, false});
    endInsertRows();
    emit dataChanged(index(n, 0), index(n, columnCount() - 1));
    if (relie)
        enregistrerEmplacement(n, chemin, filtre, false);
}

void ListeEmplacements::supprimerEmplacement(int ligne)
{
    if (!existe(ligne))
        return;
    beginRemoveRows(QModelIndex(), ligne, ligne);
    paires.remove({lignes.at(ligne).chemin, lignes.at(ligne).filtre});
    lignes.removeAt(ligne);
    endRemoveRows();
    if (ligne < rowCount())
        emit dataChanged(index(ligne, 0), index(rowCount() - 1, columnCount() - 1));
    if (!relie)
        return;
    // Renumbering rewrites every later group: a kill halfway must not leave a mix of old and new.
    EcritureGroupee ecriture;
    supprimerEmplacementConfig(rowCount());
    enregistrerDepuis(ligne);
}

void ListeEmplacements::enregistrerDepuis(int debut) const
{
    for (int i = debut; i < rowCount(); ++i)
        enregistrerEmplacement(i, lignes.at(i).chemin, lignes.at(i).filtre, lignes.at(i).selectionne);
}

void ListeEmplacements::charger()
{
    relie = false;
    const QList<int> numeros = lireNumerosEmplacements();
    // Rows read from the group of their own number: those groups need no writing.
    QList<bool> tenus;
    for (int n : numeros) {
        const QString chemin = lireChemin(n);
        const int avant = rowCount();
        if (!chemin.isEmpty())
            ajouterEmplacement(chemin, lireFiltre(n));
        if (rowCount() > avant) {
            lignes.last().selectionne = lireSelection(n);
            tenus.append(n == avant);
        }
    }
    relie = true;
    if (numeros.size() == rowCount() && (numeros.isEmpty() || numeros.last() == rowCount() - 1))
        return;
    // Only a hand-edited file has gaps, empty groups or a repeated pair: renumber so that group n is row n.
    // A group that already holds its row is left as it is, so that one stray group costs one change.
    EcritureGroupee ecriture;
    for (int n : numeros) {
        if (n >= rowCount() || !tenus.at(n))
            supprimerEmplacementConfig(n);
    }
    for (int i = 0; i < rowCount(); ++i) {
        if (!tenus.at(i))
            enregistrerEmplacement(i, lignes.at(i).chemin, lignes.at(i).filtre, lignes.at(i).selectionne);
    }
}
