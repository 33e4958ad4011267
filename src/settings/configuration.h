#pragma once

#include <QList>
#include <QString>

// The program's settings: "Papirol2.ini" in the working directory, written after every change.
// The wallpaper layout is the desktop's own setting, reached through the desktop layer.

/** (Re)opens the settings file in the current working directory. */
void ouvrirConfiguration();

/** Stores whether the rotation is on. */
void enregistrerActif(bool actif);
/** Whether the rotation is on; false when never written. */
bool lireActif();

/** The longest interval, in seconds, whose milliseconds still fit the timer's int. */
constexpr int intervalleMaximum = 2147483;
/** The interval used until the user chooses one: 5 minutes. */
constexpr int intervalleParDefaut = 300;

/** Stores the rotation interval in seconds, as given. */
void enregistrerTimer(int secondes);
/** The rotation interval in seconds, 1 .. intervalleMaximum; intervalleParDefaut when absent or not one. */
int lireTimer();

/** Writes location n's folder, filter and flag as one group. */
void enregistrerEmplacement(int n, const QString &chemin, const QString &filtre, bool selectionne);
/** Location n's folder; empty when absent. */
QString lireChemin(int n);
/** Location n's file-name filter; empty when absent. */
QString lireFiltre(int n);
/** Whether location n takes part in the rotation; false when absent. */
bool lireSelection(int n);
/** Removes location n's group with all its keys. */
void supprimerEmplacementConfig(int n);
/** The numbers of the location groups in the file, ascending, gaps included. */
QList<int> lireNumerosEmplacements();

/**
 * While one lives, writes are held back and reach the disk together, as one atomic replacement of the file,
 * when the last one ends: the file then holds either everything before or everything after.
 */
class EcritureGroupee final
{
public:
    EcritureGroupee();
    ~EcritureGroupee();
    EcritureGroupee(const EcritureGroupee &) = delete;
    EcritureGroupee &operator=(const EcritureGroupee &) = delete;
};

/** Stores layout 1..5 on the desktop and shows it at once; other numbers change nothing. */
void enregistrerPosition(int position);
/** The desktop's layout, 1..5, or 0 when it matches none. */
int lirePosition();

/** Stores whether each monitor gets a picture of its own: in rotation.ini beside the history, outside the
 * settings file, whose keys stay the ones every earlier version reads. */
void enregistrerParEcran(bool parEcran);
/** Whether each monitor gets a picture of its own; false when never written. */
bool lireParEcran();
