#include "listeemplacements.h"

#include "settings/configuration.h"

ListeEmplacements::ListeEmplacements()
    : QAbstractListModel(nullptr)
    , chemins(new QStringList)
    , filtres(new QStringList)
    , selections(new QList<bool>)
{
}

ListeEmplacements::~ListeEmplacements()
{
    delete chemins;
    delete filtres;
    delete selections;
}

// A list has no children: counting rows under a valid parent would make views recurse.
int ListeEmplacements::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(chemins->size());
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
        return filtres->at(index.row());
    if (index.column() == 1)
        return chemins->at(index.row());
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
    return chemins->value(ligne);
}

QString ListeEmplacements::filtreEmplacement(int ligne) const
{
    return filtres->value(ligne);
}

bool ListeEmplacements::estSelectionne(int ligne) const
{
    return selections->value(ligne, false);
}

void ListeEmplacements::setSelectionne(int ligne, bool selectionne)
{
    if (existe(ligne))
        (*selections)[ligne] = selectionne;
}

void ListeEmplacements::ajouterEmplacement(const QString &chemin, const QString &filtre)
{
    if (paires.contains({chemin, filtre}))
        return;
    paires.insert({chemin, filtre});
    const int n = int(chemins->size());
    beginInsertRows(QModelIndex(), n, n);
    chemins->append(chemin);
    filtres->append(filtre);
    selections->append(false);
    endInsertRows();
    emit dataChanged(index(n, 0), index(n, columnCount() - 1));
}

void ListeEmplacements::supprimerEmplacement(int ligne)
{
    if (!existe(ligne))
        return;
    beginRemoveRows(QModelIndex(), ligne, ligne);
    paires.remove({chemins->at(ligne), filtres->at(ligne)});
    chemins->removeAt(ligne);
    filtres->removeAt(ligne);
    selections->removeAt(ligne);
    endRemoveRows();
    if (ligne < rowCount())
        emit dataChanged(index(ligne, 0), index(rowCount() - 1, columnCount() - 1));
}

void ListeEmplacements::charger()
{
    const QList<int> numeros = lireNumerosEmplacements();
    for (int n : numeros) {
        const QString chemin = lireChemin(n);
        const int avant = rowCount();
        if (!chemin.isEmpty())
            ajouterEmplacement(chemin, lireFiltre(n));
        if (rowCount() > avant)
            setSelectionne(avant, lireSelection(n));
    }
    if (numeros.size() == rowCount() && (numeros.isEmpty() || numeros.last() == rowCount() - 1))
        return;
    // Only a hand-edited file has gaps, empty groups or a repeated pair: renumber so that group n is row n.
    EcritureGroupee ecriture;
    for (int n : numeros)
        supprimerEmplacementConfig(n);
    for (int i = 0; i < rowCount(); ++i)
        enregistrerEmplacement(i, cheminEmplacement(i), filtreEmplacement(i), estSelectionne(i));
}
