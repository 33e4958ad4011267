#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFileSystemWatcher>
#include <QObject>

#include <functional>
#include <iterator>
#include <vector>

class QSocketNotifier;
class QTimer;

/**
 * The running copy's command channel: a Unix socket beside its lock, in the user's private folder. A client
 * sends one command word and a newline and gets "ok" once the copy has taken it, "non" when there was nothing
 * to act on; for "quitter" the connection then stays open until the copy is gone. Each client is read as the
 * event loop finds its bytes there, with a bound on size and time, so that junk, floods or a silent client
 * never hold the GUI thread. On Windows the channel is a message-only window named after the lock, which
 * takes the fixed command codes only, through the GUI thread's own message loop.
 */
class Canal final : public QObject
{
    Q_OBJECT

public:
    /** The command words, as the client sends them. */
    static constexpr const char *mots[]
        = {"changer", "activer", "desactiver", "quitter", "precedent", "ne-plus-afficher", "courante"};
    /** The longest line a client may send, newline included, with room; anything longer is junk. */
    static constexpr int tailleMax = 32;

    /** What a client sent so far: the index of its word in mots, -1 for a line that is no command or bytes
     * past tailleMax without a line, -2 while the line has not ended. */
    static int motRecu(QByteArrayView recu)
    {
        const qsizetype fin = recu.indexOf('\n');
        if (fin < 0)
            return recu.size() > tailleMax ? -1 : -2;
        for (int i = 0; i < int(std::size(mots)); ++i) {
            if (recu.first(fin) == QByteArrayView(mots[i]))
                return i;
        }
        return -1;
    }

    explicit Canal(const QString &chemin);
    ~Canal() override;

    /** Carries out one of mots, from a client of this user; false when there was nothing to act on. */
    std::function<bool(const QString &mot)> executer;

private:
    struct Client
    {
        int fd;
        QSocketNotifier *notificateur;
        QTimer *delai;
        QByteArray recu;
    };
    void ecouter();
    void accepter();
    void lire(int fd);
    void fermer(int fd, const QByteArray &reponse = {}, bool garder = false);

    QString chemin;
    int ecoute = -1;
    unsigned long inode = 0;
    QFileSystemWatcher veille;
    std::vector<Client> clients;
    std::vector<int> attendentLaFin;
    void *fenetre = nullptr;
};

/** What the client says when no copy runs there, or when the one running did not answer. */
constexpr const char *aucuneCopie
    = "papirol2 : aucune copie de papirol2 ne tourne sur le Papirol2.ini de ce dossier.";
constexpr const char *repondPas = "papirol2 : la copie en cours n'a pas répondu.";
constexpr const char *rienAFaire
    = "papirol2 : rien à faire : aucune image n'est affichée, ou aucune ne l'a été avant elle.";

/** The client side: sends mot to the copy running on the settings file ini; the process's exit code, said in
 * French. */
int envoyerCommande(const QString &ini, const char *mot);
