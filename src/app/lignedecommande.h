#pragma once

#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

// What start-up, the command line and the command channel report; off by default like every papirol2.* one.
Q_DECLARE_LOGGING_CATEGORY(lcDemarrage)

/**
 * The program's own options: a command for the copy already running, the start at login, the usage. Read
 * once before anything of Qt is built, when a command must not need a display, and once more after the
 * application object has taken Qt's own options (-platform, -style…) out of the line.
 */
struct LigneDeCommande
{
    enum class Action { Demarrer, Aide, Erreur, Commande, AuDemarrage };
    Action action = Action::Demarrer;
    /** The command word for the running copy (Commande), or "oui"/"non" (AuDemarrage). */
    QByteArray valeur;
    /** Words that are not ours, which only the application object can tell Qt's from wrong ones. */
    bool aConfirmer = false;
};

/** arguments as the process got them (the program first); with qtRetire, Qt's options are out and any
 * word left that is not ours is an error. */
LigneDeCommande lireLigneDeCommande(const QStringList &arguments, bool qtRetire);

/** The French usage, on stdout for --help, else on stderr with exit code 2. */
int afficherUsage(bool erreur);

/** One line on flux (a newline added), in UTF-8 like every line the program prints; a Windows console is
 * set to it. */
void dire(FILE *flux, const QString &texte);

/** On Windows a GUI program has no console: what it says goes to the one it was started from, unless its
 * output is redirected. Nothing elsewhere. */
void ouvrirConsole();
