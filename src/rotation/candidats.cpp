#include "candidats.h"

#include <QSet>
#include <QtAlgorithms>

#include <algorithm>
#include <utility>

#include "commun/nomsfichiers.h"

#ifdef Q_OS_UNIX
#include "motif.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
    size_t commun = 0;
    if (nombre % 16 == 0) {
        reperes.push_back(quint32(noms.size()));
    } else {
        const size_t borne = std::min({longueur, size_t(precedent.size()), size_t(255)});
        while (commun < borne && nom[commun] == precedent[qsizetype(commun)])
            ++commun;
    }
    noms.append(char(commun));
    noms.append(nom + commun, qsizetype(longueur - commun));
    noms.append('\0');
    precedent.resize(qsizetype(longueur));
    std::memcpy(precedent.data(), nom, longueur);
    ++nombre;
}

void Listage::serrer()
{
    // Kept for as long as the location is: without the slack that growing left.
    noms.squeeze();
    reperes.shrink_to_fit();
    precedent = QByteArray();
}

const char *Listage::suivant(const char *p, QByteArray *courant)
{
    const auto commun = qsizetype(static_cast<unsigned char>(*p++));
    const auto reste = qsizetype(std::strlen(p));
    courant->truncate(commun);
    courant->append(p, reste);
    return p + reste + 1;
}

QByteArray Listage::nom(int i) const
{
    QByteArray n;
    const char *p = noms.constData() + reperes[size_t(i) / 16];
    for (int k = i % 16; k >= 0; --k)
        p = suivant(p, &n);
    return n;
}

Listage listerDossier(const QString &dossier, const QString &filtre)
{
    Listage listage;
#ifdef Q_OS_UNIX
    // The directory read in large blocks, each entry's type from the directory itself (only links and
    // unknowns cost a stat), names kept as bytes: no file-info object or string is made per entry.
    const Motif motif(filtre);
    const int fd = open(octetsDuNom(dossier).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return listage;
    // A folder's size bounds what its names take here (its entries hold more than the names): reserved at
    // once, the names never move as they come, and the pages reserved beyond them are never touched. Moving
    // them cost a transient copy as large as the names.
    struct stat dossierEtat;
    if (fstat(fd, &dossierEtat) == 0 && dossierEtat.st_size > 0)
        listage.reserver(qsizetype(std::min<off_t>(dossierEtat.st_size, off_t(64) << 20)));
    // Read on the stack: a larger block lists no faster, even a million entries, and would stay in the
    // peak memory of the program.
    alignas(dirent64) char tampon[32 * 1024];
    ssize_t lus;
    while ((lus = getdents64(fd, tampon, sizeof tampon)) > 0) {
        for (ssize_t i = 0; i < lus;) {
            const auto *e = reinterpret_cast<const dirent64 *>(tampon + i);
            i += e->d_reclen;
            // Hidden entries stay out, as in a file manager.
            if (e->d_name[0] == '.')
                continue;
            const size_t longueur = strlen(e->d_name);
            if (!motif.correspond(e->d_name, longueur))
                continue;
            // Files only, links to one included: a matching sub-folder or pipe is no picture.
            if (e->d_type != DT_REG) {
                struct stat etat;
                if ((e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) || fstatat(fd, e->d_name, &etat, 0) != 0
                    || !S_ISREG(etat.st_mode))
                    continue;
            }
            listage.ajouter(e->d_name, longueur);
        }
    }
    close(fd);
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

// Two bits a name rather than a draw order of four bytes: a hundred thousand pictures hold 0.4 MB less.
struct Candidats::Partie
{
    QString cle;
    QString dossier;
    quint64 id = 0;
    Listage listage;
    // Set for a name drawn this cycle, and for one left out until the next listing.
    std::vector<quint64> tires;
    // Set for a name found unreadable, left out until the next listing.
    std::vector<quint64> ecartes;
    int restants = 0;
    int vivants = 0;

    // How many names are not drawn in each run of 64 words, so that a draw among a million reads a few
    // hundred counts and one run rather than every word.
    std::vector<quint16> libresParBloc;
    static constexpr size_t motsParBloc = 64;

    QString chemin(int i) const { return dossier + QLatin1Char('/') + nomDepuisOctets(listage.nom(i)); }
    static bool lire(const std::vector<quint64> &bits, int i) { return bits[size_t(i) / 64] >> (i % 64) & 1; }
    static void poser(std::vector<quint64> *bits, int i)
    {
        (*bits)[size_t(i) / 64] |= quint64(1) << (i % 64);
    }
    // The free names of word m: bits past the last name count as drawn.
    quint64 libres(size_t m) const
    {
        const quint64 l = ~tires[m];
        return m + 1 == tires.size() && listage.taille() % 64
            ? l & ((quint64(1) << (listage.taille() % 64)) - 1)
            : l;
    }
    void marquer(int i)
    {
        if (!lire(tires, i))
            --libresParBloc[size_t(i) / 64 / motsParBloc];
        poser(&tires, i);
    }
    void recompter()
    {
        libresParBloc.assign((tires.size() + motsParBloc - 1) / motsParBloc, 0);
        for (size_t m = 0; m < tires.size(); ++m)
            libresParBloc[m / motsParBloc] += quint16(qPopulationCount(libres(m)));
    }
    void recommencer()
    {
        tires = ecartes;
        restants = vivants;
        recompter();
    }
    // The index of the k-th name not drawn yet, counted in listing order.
    int nonTire(int k) const
    {
        size_t m = 0;
        for (size_t b = 0; b < libresParBloc.size(); ++b, m += motsParBloc) {
            if (k < libresParBloc[b])
                break;
            k -= libresParBloc[b];
        }
        for (; m < tires.size(); ++m) {
            quint64 l = libres(m);
            const int n = qPopulationCount(l);
            if (k >= n) {
                k -= n;
                continue;
            }
            for (; k > 0; --k)
                l &= l - 1;
            return int(m * 64) + int(qCountTrailingZeroBits(l));
        }
        Q_UNREACHABLE();
        return -1;
    }
};

Candidats::Candidats() = default;
Candidats::~Candidats() = default;

Candidats::Partie *Candidats::trouver(const QString &cle) const
{
    const auto it = index.constFind(cle);
    return it == index.cend() ? nullptr : parties[*it].get();
}

void Candidats::remplacer(const QString &cle, const QString &dossier, Listage listage)
{
    auto neuve = std::make_unique<Partie>();
    neuve->cle = cle;
    neuve->dossier = dossier;
    neuve->id = prochainId++;
    neuve->listage = std::move(listage);
    const int n = neuve->listage.taille();
    neuve->tires.assign((size_t(n) + 63) / 64, 0);
    neuve->ecartes = neuve->tires;
    QSet<QByteArray> dejaTires;
    Partie *ancienne = trouver(cle);
    if (ancienne) {
        // Names are found by reading the listing through, not one by one. One left out as unreadable was
        // never shown: listed again, it is drawn in this cycle.
        ancienne->listage.parcourir([&](int i, QByteArrayView nom) {
            if (Partie::lire(ancienne->tires, i) && !Partie::lire(ancienne->ecartes, i))
                dejaTires.insert(nom.toByteArray());
        });
    }
    int tires = 0;
    neuve->listage.parcourir([&](int i, QByteArrayView nom) {
        if (!dejaTires.isEmpty() && dejaTires.contains(nom.toByteArray())) {
            Partie::poser(&neuve->tires, i);
            ++tires;
        }
    });
    neuve->recompter();
    neuve->restants = n - tires;
    neuve->vivants = n;
    if (ancienne) {
        parties[index.value(cle)] = std::move(neuve);
    } else {
        index.insert(cle, parties.size());
        parties.push_back(std::move(neuve));
    }
}

void Candidats::retirer(const QString &cle)
{
    const auto it = index.constFind(cle);
    if (it == index.cend())
        return;
    // The last part takes the place of the one going: the order of the parts means nothing to the draw.
    const size_t place = *it;
    index.erase(it);
    if (place + 1 < parties.size()) {
        parties[place] = std::move(parties.back());
        index[parties[place]->cle] = place;
    }
    parties.pop_back();
}

int Candidats::nombre() const
{
    int n = 0;
    for (const auto &p : parties)
        n += p->vivants;
    return n;
}

int Candidats::restants() const
{
    int n = 0;
    for (const auto &p : parties)
        n += p->restants;
    return n;
}

Tire Candidats::tirer(quint32 hasard, const QString &eviter)
{
    const auto localiser = [this](int k) {
        for (const auto &p : parties) {
            if (k < p->restants)
                return std::make_pair(p.get(), k);
            k -= p->restants;
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
        return p->chemin(p->nonTire(k)) == eviter;
    }();
    if (u == 0 || seulEvite) {
        for (const auto &p : parties)
            p->recommencer();
        u = total;
        tire.cycleNeuf = true;
    }
    int k = int(hasard % quint32(u));
    auto [partie, position] = localiser(k);
    int index = partie->nonTire(position);
    if (u > 1 && partie->chemin(index) == eviter) {
        k = int((quint32(k) + 1 + (hasard / quint32(u)) % quint32(u - 1)) % quint32(u));
        std::tie(partie, position) = localiser(k);
        index = partie->nonTire(position);
    }
    tire.chemin = partie->chemin(index);
    tire.partie = partie->id;
    tire.index = index;
    partie->marquer(index);
    --partie->restants;
    return tire;
}

void Candidats::abandonner(const Tire &tire)
{
    for (const auto &p : parties) {
        if (p->id != tire.partie || tire.index < 0 || tire.index >= p->listage.taille()
            || Partie::lire(p->ecartes, tire.index))
            continue;
        if (!Partie::lire(p->tires, tire.index))
            --p->restants;
        p->marquer(tire.index);
        Partie::poser(&p->ecartes, tire.index);
        --p->vivants;
        return;
    }
}

QStringList Candidats::chemins() const
{
    QStringList resultat;
    for (const auto &p : parties) {
        p->listage.parcourir([&](int i, QByteArrayView nom) {
            if (!Partie::lire(p->ecartes, i))
                resultat << p->dossier + QLatin1Char('/') + nomDepuisOctets(nom);
        });
    }
    return resultat;
}
