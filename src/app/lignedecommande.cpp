#include "lignedecommande.h"

#include "canal.h"

#include <QCommandLineParser>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

LigneDeCommande lireLigneDeCommande(const QStringList &arguments, bool qtRetire)
{
    QCommandLineParser analyseur;
    // Qt's options take one dash and whole words: -platform is one unknown option, not eight letters.
    analyseur.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QList<QCommandLineOption> commandes;
    for (const char *mot : Canal::mots)
        commandes.append(QCommandLineOption(QString::fromLatin1(mot)));
    const QCommandLineOption aide(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption auDemarrage(QStringLiteral("au-demarrage"), QString(),
                                         QStringLiteral("oui|non"));
    analyseur.addOptions(commandes);
    analyseur.addOptions({aide, auDemarrage});
    const bool lu = analyseur.parse(arguments);

    LigneDeCommande ligne;
    int actions = 0;
    for (const QCommandLineOption &c : commandes) {
        if (analyseur.isSet(c)) {
            ++actions;
            ligne.action = LigneDeCommande::Action::Commande;
            ligne.valeur = c.names().constFirst().toLatin1();
        }
    }
    if (analyseur.isSet(aide)) {
        ++actions;
        ligne.action = LigneDeCommande::Action::Aide;
    }
    const QStringList valeurs = analyseur.values(auDemarrage);
    if (!valeurs.isEmpty()) {
        actions += int(valeurs.size());
        ligne.valeur = valeurs.constFirst().toUtf8();
        ligne.action = ligne.valeur == "oui" || ligne.valeur == "non" ? LigneDeCommande::Action::AuDemarrage
                                                                      : LigneDeCommande::Action::Erreur;
    }
    // A word that is not ours may be the value of a Qt option (-platform xcb) as well as a stray one.
    const bool etrangers
        = !analyseur.unknownOptionNames().isEmpty() || !analyseur.positionalArguments().isEmpty();
    if (actions > 1 || (!lu && !etrangers) || (etrangers && (actions > 0 || qtRetire)))
        ligne.action = LigneDeCommande::Action::Erreur;
    ligne.aConfirmer = etrangers && ligne.action == LigneDeCommande::Action::Demarrer;
    return ligne;
}

int afficherUsage(bool erreur)
{
    fputs("Utilisation : papirol2 [COMMANDE]\n"
          "Change le fond d'écran à intervalle régulier. Sans commande, papirol2 démarre dans la zone de\n"
          "notification, sur le fichier Papirol2.ini du dossier courant (une seule copie par fichier).\n"
          "\n"
          "Commandes pour la copie qui tourne sur le Papirol2.ini du dossier courant :\n"
          "  --changer              change le fond d'écran tout de suite (« Changer » du menu)\n"
          "  --precedent            remet l'image affichée avant celle-ci (« Précédent »)\n"
          "  --ne-plus-afficher     écarte l'image affichée et en affiche une autre (« Ne plus afficher »)\n"
          "  --courante             écrit le chemin de l'image affichée (une ligne par écran)\n"
          "  --activer              active la rotation (« Activer » coché)\n"
          "  --desactiver           désactive la rotation (« Activer » décoché)\n"
          "  --quitter              arrête cette copie (« Quitter » du menu)\n"
          "\n"
          "  --au-demarrage oui|non lance, ou ne lance plus, papirol2 à l'ouverture de la session, dans le\n"
          "                         dossier courant\n"
          "  --help                 affiche cette aide\n"
          "\n"
          "Code de sortie : 0 si c'est fait, 1 si aucune copie ne tourne, s'il n'y a rien à faire\n"
          "(aucune image affichée, aucune avant elle) ou en cas d'échec, 2 si la ligne de commande est\n"
          "incorrecte.\n",
          erreur ? stderr : stdout);
    return erreur ? 2 : 0;
}

void dire(FILE *flux, const QString &texte)
{
    fputs(texte.toUtf8().constData(), flux);
    fputc('\n', flux);
    fflush(flux);
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
