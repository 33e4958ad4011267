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
    if (!relie)
        return;
    // Every group of the pair: the next start would take the flag back from one left as it was.
    EcritureGroupee ecriture;
    const Emplacement &e = lignes.at(ligne);
    for (int n : groupes.isEmpty() ? QList<int> {ligne} : groupes.at(ligne))
        enregistrerEmplacement(n, e.chemin, e.filtre, selectionne);
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
        renumeroter(n);
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
    if (relie)
        renumeroter(ligne);
}

void ListeEmplacements::renumeroter(int debut)
{
    // Every later group may change: a kill halfway must not leave a mix of old and new.
    EcritureGroupee ecriture;
    for (int n : lireNumerosEmplacements()) {
        if (n >= rowCount())
            supprimerEmplacementConfig(n);
    }
    // Only values that differ are written: a group that holds its row already is left as it is.
    for (int i = groupes.isEmpty() ? debut : 0; i < rowCount(); ++i)
        enregistrerEmplacement(i, lignes.at(i).chemin, lignes.at(i).filtre, lignes.at(i).selectionne);
    groupes.clear();
}

void ListeEmplacements::charger()
{
    beginResetModel();
    const QList<int> numeros = lireNumerosEmplacements();
    QHash<std::pair<QString, QString>, int> rangs;
    for (int n : numeros) {
        const std::pair<QString, QString> paire {lireChemin(n), lireFiltre(n)};
        if (paire.first.isEmpty())
            continue;
        auto r = rangs.constFind(paire);
        if (r == rangs.cend()) {
            r = rangs.insert(paire, rowCount());
            paires.insert(paire);
            lignes.append({paire.first, paire.second, false});
            groupes.append(QList<int>());
        }
        // A pair met twice is one row, selected when any of its groups is.
        lignes[*r].selectionne |= lireSelection(n);
        groupes[*r].append(n);
    }
    if (numeros.size() == rowCount() && (numeros.isEmpty() || numeros.last() == rowCount() - 1))
        groupes.clear();
    relie = true;
    endResetModel();
}
