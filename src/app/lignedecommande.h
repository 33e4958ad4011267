#pragma once

#include <QByteArray>

/**
 * The program's own options, read before anything of Qt is built: a command for the copy already running,
 * the start at login, the usage. Qt's standard options pass through to the application object.
 */
struct LigneDeCommande
{
    enum class Action { Demarrer, Aide, Erreur, Commande, AuDemarrage };
    Action action = Action::Demarrer;
    /** The command word for the running copy (Commande), or "oui"/"non" (AuDemarrage). */
    QByteArray valeur;
};

LigneDeCommande lireLigneDeCommande(int argc, char *argv[]);

/** The French usage, on stdout for --help, else on stderr with exit code 2. */
int afficherUsage(bool erreur);

/** On Windows a GUI program has no console: what it says goes to the one it was started from, unless its
 * output is redirected. Nothing elsewhere. */
void ouvrirConsole();
