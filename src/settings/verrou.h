#pragma once

#include <QString>

/**
 * Where the lock that keeps one running copy per settings file lives: the session's runtime folder, else the
 * user's cache folder, and only when that folder is the user's and nobody else may write in it (another local
 * user could otherwise take the lock first and keep the program from starting). Empty when there is none.
 */
QString dossierVerrou();

/** The lock file for the settings file at ini, in dossierVerrou(); empty when there is no such folder. */
QString cheminVerrou(const QString &ini);

/** The socket through which the copy that holds that lock takes commands; empty when there is no folder. */
QString cheminCanal(const QString &ini);
