#include "lignedecommande.h"

#include "canal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
// Qt's own options that the application object takes, with one value or none.
constexpr const char *optionsQtAvecValeur[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qwindowgeometry",
                                               "qwindowicon",
                                               "qwindowtitle",
                                               "display",
                                               "style",
                                               "stylesheet",
                                               "session",
                                               "name",
                                               "title"};
constexpr const char *optionsQtSeules[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template<size_t N>
bool parmi(const char *nom, const char *const (&liste)[N])
{
    for (const char *o : liste) {
        if (!strcmp(nom, o))
            return true;
    }
    return false;
}
} // namespace

LigneDeCommande lireLigneDeCommande(int argc, char *argv[])
{
    LigneDeCommande ligne;
    int actions = 0;
    const auto choisir = [&](LigneDeCommande::Action action, const QByteArray &valeur) {
        ligne.action = ++actions > 1 ? LigneDeCommande::Action::Erreur : action;
        ligne.valeur = valeur;
    };
    for (int i = 1; i < argc && ligne.action != LigneDeCommande::Action::Erreur; ++i) {
        const char *arg = argv[i];
        const char *nom = arg + (arg[0] == '-') + (arg[0] == '-' && arg[1] == '-');
        const QByteArray option(arg);
        bool connue = false;
        for (const char *mot : Canal::mots) {
            if (option == QByteArray("--") + mot) {
                choisir(LigneDeCommande::Action::Commande, mot);
                connue = true;
            }
        }
        if (connue)
            continue;
        if (option == "--help" || option == "-h") {
            choisir(LigneDeCommande::Action::Aide, {});
        } else if (option == "--au-demarrage" || option.startsWith("--au-demarrage=")) {
            const QByteArray valeur = option.contains('=') ? option.mid(option.indexOf('=') + 1)
                : i + 1 < argc                             ? QByteArray(argv[++i])
                                                           : QByteArray();
            choisir(valeur == "oui" || valeur == "non" ? LigneDeCommande::Action::AuDemarrage
                                                       : LigneDeCommande::Action::Erreur,
                    valeur);
        } else if (nom != arg && parmi(nom, optionsQtAvecValeur) && i + 1 < argc) {
            ++i;
        } else if (nom == arg || !parmi(nom, optionsQtSeules)) {
            ligne.action = LigneDeCommande::Action::Erreur;
        }
    }
    return ligne;
}

int afficherUsage(bool erreur)
{
    fputs(
        "Utilisation : papirol2 [COMMANDE]\n"
        "Change le fond d'écran à intervalle régulier. Sans commande, papirol2 démarre dans la zone de\n"
        "notification, sur le fichier Papirol2.ini du dossier courant (une seule copie par fichier).\n"
        "\n"
        "Commandes pour la copie qui tourne sur le Papirol2.ini du dossier courant :\n"
        "  --changer              change le fond d'écran tout de suite (« Changer » du menu)\n"
        "  --activer              active la rotation (« Activer » coché)\n"
        "  --desactiver           désactive la rotation (« Activer » décoché)\n"
        "  --quitter              arrête cette copie (« Quitter » du menu)\n"
        "\n"
        "  --au-demarrage oui|non lance, ou ne lance plus, papirol2 à l'ouverture de la session, dans le\n"
        "                         dossier courant\n"
        "  --help                 affiche cette aide\n"
        "\n"
        "Code de sortie : 0 si c'est fait, 1 si aucune copie ne tourne ou en cas d'échec, 2 si la ligne de\n"
        "commande est incorrecte.\n",
        erreur ? stderr : stdout);
    return erreur ? 2 : 0;
}

#ifdef Q_OS_WIN
namespace {
UINT pageAvant = 0;
void rendrePage()
{
    SetConsoleOutputCP(pageAvant);
}
} // namespace
#endif

void ouvrirConsole()
{
#ifdef Q_OS_WIN
    const bool sortie = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN;
    const bool erreur = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN;
    if ((sortie || erreur) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (sortie)
            freopen("CONOUT$", "w", stdout);
        if (erreur)
            freopen("CONOUT$", "w", stderr);
        // Every line printed is UTF-8; the console it borrows gets its code page back.
        pageAvant = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        atexit(rendrePage);
    }
#endif
}
