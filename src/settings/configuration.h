#pragma once

#include <QString>

// The program's settings: "Papirol2.ini" in the working directory, flushed after every write.
// The wallpaper layout is the desktop's own setting, reached through the desktop layer.

/** (Re)opens the settings file in the current working directory. */
void ouvrirConfiguration();

/** Stores whether the rotation is on. */
void enregistrerActif(bool actif);
/** Whether the rotation is on; false when never written. */
bool lireActif();

/** Stores the rotation interval in seconds, as given. */
void enregistrerTimer(int secondes);
/** The rotation interval in seconds; 0 when never written. */
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

/** Stores layout 1..5 on the desktop and shows it at once; other numbers change nothing. */
void enregistrerPosition(int position);
/** The desktop's layout, 1..5, or 0 when it matches none. */
int lirePosition();
