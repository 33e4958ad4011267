#include "rotator.h"

#include "desktop/bureau.h"
#include "locations/listeemplacements.h"
#include "settings/configuration.h"

#include <QDir>
#include <QDirIterator>
#include <QLoggingCategory>
#include <QTimer>

#include <limits>

Q_LOGGING_CATEGORY(lcRotation, "papirol2.rotation", QtCriticalMsg)

Rotator::Rotator()
    : minuteur(new QTimer)
{
    connect(minuteur, &QTimer::timeout, this, &Rotator::changerWallpaper);
}

Rotator::~Rotator()
{
    delete minuteur;
}

int Rotator::borner(int secondes)
{
    constexpr int maximum = std::numeric_limits<int>::max() / 1000;
    return qBound(1, secondes, maximum);
}

void Rotator::changerIntervalle(int secondes)
{
    minuteur->setInterval(borner(secondes) * 1000);
    enregistrerTimer(secondes);
}

void Rotator::demarrer()
{
    changerWallpaper();
    minuteur->start(borner(lireTimer()) * 1000);
}

void Rotator::arreter()
{
    minuteur->stop();
}

bool Rotator::estActif() const
{
    return minuteur->isActive();
}

int Rotator::intervalleMs() const
{
    return minuteur->interval();
}

void Rotator::chargerFichiers(ListeEmplacements *modele)
{
    fichiers.clear();
    nbFichiers = 0;
    nbRestants = 0;
    for (int ligne = 0; ligne < modele->rowCount(); ++ligne) {
        if (!modele->estSelectionne(ligne))
            continue;
        const QString dossier = modele->cheminEmplacement(ligne);
        // Files only: a matching sub-folder is no picture. Hidden entries stay out, as in a file manager.
        QDirIterator it(dossier, QStringList {modele->filtreEmplacement(ligne)}, QDir::Files);
        const int avant = int(fichiers.size());
        while (it.hasNext())
            fichiers.append(it.next());
        qCInfo(lcRotation) << fichiers.size() - avant << "pictures in" << dossier;
    }
    nbFichiers = int(fichiers.size());
    nbRestants = nbFichiers;
}

void Rotator::changerWallpaper()
{
    if (nbFichiers <= 1) {
        qCInfo(lcRotation) << "nothing to change to:" << nbFichiers << "candidates";
        return;
    }
    if (nbRestants == 0)
        nbRestants = nbFichiers;
    const int k = int(bureau().compteur() % quint32(nbRestants));
    const QString choisi = fichiers.at(k);
    fichiers.swapItemsAt(k, nbRestants - 1);
    --nbRestants;
    bureau().appliquerFondEcran(QDir::toNativeSeparators(choisi));
}
