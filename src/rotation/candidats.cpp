#include "candidats.h"

#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

#include "commun/nomsfichiers.h"

#ifdef Q_OS_UNIX
#include "motif.h"

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#else
#include <QDir>
#include <QDirIterator>
#endif

void Listage::ajouter(const QString &nom)
{
    const QByteArray octets = octetsDuNom(nom);
    ajouter(octets.constData(), size_t(octets.size()));
}

void Listage::ajouter(const char *nom, size_t longueur)
{
    // Offsets of four bytes bound a listing's names to 4 GiB, some 100 million of them.
    if (noms.size() + qsizetype(longueur) > qsizetype(std::numeric_limits<quint32>::max()))
        return;
    debuts.push_back(quint32(noms.size()));
    noms.append(nom, qsizetype(longueur));
}

void Listage::serrer()
{
    // Kept for as long as the location is: without the slack that growing left.
    noms.squeeze();
    debuts.shrink_to_fit();
}

QByteArrayView Listage::nom(int i) const
{
    const quint32 fin = size_t(i) + 1 < debuts.size() ? debuts[i + 1] : quint32(noms.size());
    return QByteArrayView(noms.constData() + debuts[i], fin - debuts[i]);
}

Listage listerDossier(const QString &dossier, const QString &filtre)
{
    Listage listage;
#ifdef Q_OS_UNIX
    // Each entry's type comes from the directory itself (only links and unknowns cost a stat), names stay
    // bytes: no file-info object or string is made per entry.
    const Motif motif(filtre);
    DIR *d = opendir(octetsDuNom(dossier).constData());
    if (!d)
        return listage;
    // A folder's size bounds its names' bytes: reserved at once, they are never copied as they grow.
    struct stat dossierEtat;
    if (fstat(dirfd(d), &dossierEtat) == 0 && dossierEtat.st_size > 0)
        listage.reserver(qsizetype(std::min<off_t>(dossierEtat.st_size, off_t(64) << 20)));
    while (const dirent *e = readdir(d)) {
        // Hidden entries stay out, as in a file manager.
        if (e->d_name[0] == '.')
            continue;
        const size_t longueur = strlen(e->d_name);
        if (!motif.correspond(e->d_name, longueur))
            continue;
        // Files only, links to one included: a matching sub-folder or pipe is no picture.
        if (e->d_type != DT_REG) {
            struct stat etat;
            if ((e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
                || fstatat(dirfd(d), e->d_name, &etat, 0) != 0 || !S_ISREG(etat.st_mode))
                continue;
        }
        listage.ajouter(e->d_name, longueur);
    }
    closedir(d);
#else
    // Files only: a matching sub-folder is no picture. Hidden entries stay out, as in a file manager.
    QDirIterator it(dossier, QStringList {filtre}, QDir::Files);
    while (it.hasNext()) {
        it.next();
        listage.ajouter(it.fileName());
    }
#endif
    listage.serrer();
    return listage;
}

// ordre holds indexes into listage: [0, restants) not drawn this cycle, [restants, vivants) drawn,
// [vivants, end) found unreadable and left out until the next listing.
struct Candidats::Partie
{
    QString dossier;
    quint64 id = 0;
    Listage listage;
    std::vector<quint32> ordre;
    int restants = 0;
    int vivants = 0;

    QString chemin(int position) const
    {
        return dossier + QLatin1Char('/') + nomDepuisOctets(listage.nom(int(ordre[position])));
    }
    void echanger(int a, int b) { std::swap(ordre[a], ordre[b]); }
};

Candidats::Candidats() = default;
Candidats::~Candidats() = default;

void Candidats::remplacer(const QString &cle, const QString &dossier, Listage listage)
{
    Partie neuve;
    neuve.dossier = dossier;
    neuve.id = prochainId++;
    neuve.listage = std::move(listage);
    const int n = neuve.listage.taille();
    neuve.ordre.resize(n);
    QSet<QByteArrayView> dejaTires;
    // One left out as unreadable was never shown: listed again, it is drawn in this cycle.
    if (const auto ancienne = parties.constFind(cle); ancienne != parties.cend()) {
        for (int i = ancienne->restants; i < ancienne->vivants; ++i)
            dejaTires.insert(ancienne->listage.nom(int(ancienne->ordre[i])));
    }
    // Undrawn names from the front, drawn ones from the back.
    int avant = 0, arriere = n;
    for (int i = 0; i < n; ++i) {
        if (dejaTires.contains(neuve.listage.nom(i)))
            neuve.ordre[--arriere] = quint32(i);
        else
            neuve.ordre[avant++] = quint32(i);
    }
    neuve.restants = avant;
    neuve.vivants = n;
    parties.insert(cle, std::move(neuve));
}

void Candidats::retirer(const QString &cle)
{
    parties.remove(cle);
}

int Candidats::nombre() const
{
    int n = 0;
    for (const auto &p : std::as_const(parties))
        n += p.vivants;
    return n;
}

int Candidats::restants() const
{
    int n = 0;
    for (const auto &p : std::as_const(parties))
        n += p.restants;
    return n;
}

Tire Candidats::tirer(quint32 hasard, const QString &eviter)
{
    const auto localiser = [this](int k) {
        for (auto &p : parties) {
            if (k < p.restants)
                return std::make_pair(&p, k);
            k -= p.restants;
        }
        Q_UNREACHABLE();
        return std::make_pair(static_cast<Partie *>(nullptr), 0);
    };
    const int total = nombre();
    if (total == 0)
        return {};
    Tire tire;
    int u = restants();
    const bool seulEvite = u == 1 && total > 1 && [&] {
        const auto [p, k] = localiser(0);
        return p->chemin(k) == eviter;
    }();
    if (u == 0 || seulEvite) {
        for (auto &p : parties)
            p.restants = p.vivants;
        u = total;
        tire.cycleNeuf = true;
    }
    int k = int(hasard % quint32(u));
    auto [partie, position] = localiser(k);
    if (u > 1 && partie->chemin(position) == eviter) {
        k = int((quint32(k) + 1 + (hasard / quint32(u)) % quint32(u - 1)) % quint32(u));
        std::tie(partie, position) = localiser(k);
    }
    tire.chemin = partie->chemin(position);
    tire.partie = partie->id;
    tire.index = int(partie->ordre[position]);
    partie->echanger(position, --partie->restants);
    return tire;
}

void Candidats::abandonner(const Tire &tire)
{
    for (auto &p : parties) {
        if (p.id != tire.partie)
            continue;
        for (int pos = 0; pos < p.vivants; ++pos) {
            if (int(p.ordre[pos]) != tire.index)
                continue;
            if (pos < p.restants) {
                p.echanger(pos, --p.restants);
                pos = p.restants;
            }
            p.echanger(pos, --p.vivants);
            return;
        }
    }
}

void Candidats::remettre(const Tire &tire)
{
    for (auto &p : parties) {
        if (tire.index >= 0 && p.id != tire.partie)
            continue;
        for (int pos = p.restants; pos < p.vivants; ++pos) {
            if (tire.index >= 0 ? int(p.ordre[pos]) == tire.index : p.chemin(pos) == tire.chemin)
                return p.echanger(pos, p.restants++);
        }
    }
}

QStringList Candidats::chemins() const
{
    QStringList resultat;
    for (const auto &p : std::as_const(parties)) {
        for (int pos = 0; pos < p.vivants; ++pos)
            resultat << p.chemin(pos);
    }
    return resultat;
}
