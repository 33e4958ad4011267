#pragma once

#include <QString>

/*
 * Every file and folder the program reads or writes outside the pictures, in one place, so that the code and
 * the tests agree on them.
 */

/** Drops XDG base-directory variables that hold a relative path, as the XDG rules ask: they then fall back
 * as when unset, for Qt's folders and for the programs we start alike. Call before anything reads them. */
void ignorerXdgRelatifs();

/** The settings file: Papirol2.ini in the working folder. */
QString cheminReglages();

/** The last picture shown, kept across runs whatever the desktop. */
QString cheminRotation();

/** The layout kept for a desktop that cannot be asked for it. */
QString cheminMagasin(const QString &nomBureau);

/** Where pictures laid out for LXQt are kept: they must outlive the session, since pcmanfm-qt reads them at
 * login. */
QString dossierDonnees();

/**
 * The user's private runtime folder: $XDG_RUNTIME_DIR/papirol2, else the user's cache folder, made on first
 * use, and only when it is the user's and nobody else may write in it (another local user could otherwise
 * take our lock or socket first). Empty when there is none.
 */
QString dossierExecution();

/** The lock that keeps one running copy per settings file, and the socket that copy takes commands on;
 * empty when there is no private folder. */
QString cheminVerrou(const QString &ini);
QString cheminCanal(const QString &ini);

/** The swaybg process we leave running at exit, for the next run to replace. */
QString cheminTemoinCalque();

/** What starts the program at login: a desktop entry, or on Windows a shortcut in the Startup folder;
 * empty when Windows names no such folder. */
QString cheminDemarrage();
