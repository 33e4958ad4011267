#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

class QAction;
class QActionGroup;
class QMenu;
class QPushButton;
class QTableView;
class ListeEmplacements;
class Rotator;

/** The program: tray icon and menu, the location list window, and what ties them to the rotation. */
class Papirol2 final : public QWidget
{
    Q_OBJECT

public:
    explicit Papirol2(QWidget *parent = nullptr);
    ~Papirol2() override;

    void setVisible(bool visible) override;

public slots:
    /** A command from outside (one of Canal::mots): its tray menu entry, taken as a click takes it; false
     * when there is nothing to act on (the entry greyed, no picture shown). */
    bool on_commande(const QString &mot);
    /** A new tray icon, with the same menu: Qt picks the tray anew for it. */
    void recreerIcone();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_trayIconAction(QSystemTrayIcon::ActivationReason reason);
    void on_changerIntervalle(QAction *action);
    void on_changerStyle(QAction *action);
    void on_changerEmplacement(QAction *action);
    void on_ajouterEmplacement();
    void on_supprimerEmplacement();
    void on_activer(bool activer);
    /** The tooltip and the entries about the picture on screen, after it or the history changed. */
    void on_memoireChangee();

private:
    void construireMenu();
    void creerIcone();
    /** The "Emplacements" entries of rows debut to fin - 1, added to sousMenu. */
    void ajouterEntreesEmplacements(QMenu *sousMenu, int debut, int fin);
    /** The tooltip: the picture on screen, its folder below; the program's name before any. */
    QString infobulle() const;
    /** Checks the interval entry of that many seconds: its preset, else "Personnalisé". */
    static void cocherIntervalle(QActionGroup *groupe, int secondes);

    // The location list window's, made when it first opens.
    QTableView *table = nullptr;
    QPushButton *boutonAjouter = nullptr;
    QPushButton *boutonSupprimer = nullptr;
    QMenu *menu = nullptr;
    QMenu *menuEcartees = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    ListeEmplacements *emplacements = nullptr;
    Rotator *rotator = nullptr;

    friend class TestPapirol2;
};
