#include "papirol2.h"

#include "desktop/bureau.h"
#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QScreen>

#include <algorithm>

namespace {
// An entry and its value: seconds of an interval, or a layout's number in the settings file.
struct Entree
{
    const char *texte;
    int valeur;
};
constexpr Entree presets[] = {
    {"30 secondes", 30}, {"1 minute", 60}, {"2 minutes", 120}, {"5 minutes", 300}, {"10 minutes", 600},
};
constexpr Entree dispositions[] = {
    {"Étirer", 3}, {"Mosaïque", 2}, {"Centrer", 1}, {"Ajuster", 4}, {"Remplissage", 5},
};

constexpr int entreesParMenu = 1000;

QAction *nouvelleAction(const QString &texte, QMenu *parent, QActionGroup *groupe, QMenu *sousMenu)
{
    auto *action = new QAction(texte, parent);
    action->setActionGroup(groupe);
    action->setCheckable(true);
    sousMenu->addAction(action);
    return action;
}
} // namespace

void Papirol2::cocherIntervalle(QActionGroup *groupe, int secondes)
{
    QAction *coche = nullptr;
    for (QAction *a : groupe->actions()) {
        const bool perso = a->property("perso").toBool();
        if ((perso && !coche) || (!perso && a->property("timer").toInt() == secondes))
            coche = a;
    }
    coche->setChecked(true);
}

void Papirol2::ajouterEntreesEmplacements(QMenu *sousMenu, int debut, int fin)
{
    auto *groupe = new QActionGroup(sousMenu);
    groupe->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (int r = debut; r < fin; ++r) {
        QString texte = emplacements->filtreEmplacement(r) + QStringLiteral(" dans ")
            + emplacements->cheminEmplacement(r);
        // An "&" in a folder name is text, not a keyboard accelerator.
        texte.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = nouvelleAction(texte, sousMenu, groupe, sousMenu);
        a->setChecked(emplacements->estSelectionne(r));
        a->setProperty("index", r);
    }
    connect(groupe, &QActionGroup::triggered, this, &Papirol2::on_changerEmplacement);
}

// Rebuilt whole; every check mark is read back from where the choice is stored.
void Papirol2::construireMenu()
{
    delete menu;
    menu = new QMenu;

    // Named for on_commande, which takes them as a click does.
    QAction *changer = menu->addAction(QStringLiteral("Changer"));
    changer->setObjectName(QStringLiteral("changer"));
    connect(changer, &QAction::triggered, rotator, &Rotator::changerWallpaper);
    QAction *precedent = menu->addAction(QStringLiteral("Précédent"));
    precedent->setObjectName(QStringLiteral("precedent"));
    // On the monitor the menu opened on: a menu drawn by the tray host has none of its own, the primary.
    connect(precedent, &QAction::triggered, this, [this] { rotator->precedent(menu->screen()->name()); });

    auto *activer = new QAction(QStringLiteral("Activer"), menu);
    activer->setCheckable(true);
    activer->setObjectName(QStringLiteral("activer"));
    menu->addAction(activer);
    connect(activer, &QAction::toggled, this, &Papirol2::on_activer);
    // Checked after connecting: a stored "on" starts the rotation right here.
    activer->setChecked(lireActif());

    menu->addSeparator();
    QMenu *menuIntervalle = menu->addMenu(QStringLiteral("Intervalle"));
    QMenu *menuPosition = menu->addMenu(QStringLiteral("Position"));
    QMenu *menuEmplacements = menu->addMenu(QStringLiteral("Emplacements"));
    menu->addSeparator();
    QAction *ecarter = menu->addAction(QStringLiteral("Ne plus afficher"));
    ecarter->setObjectName(QStringLiteral("ne-plus-afficher"));
    connect(ecarter, &QAction::triggered, this, [this] { rotator->nePlusAfficher(menu->screen()->name()); });
    menuEcartees = menu->addMenu(QStringLiteral("Images écartées"));
    // Each entry's full path, for names alike in two folders.
    menuEcartees->setToolTipsVisible(true);
    QAction *dossier = menu->addAction(QStringLiteral("Ouvrir le dossier de l'image"));
    dossier->setObjectName(QStringLiteral("dossier"));
    connect(dossier, &QAction::triggered, this, [this] { montrerDansDossier(rotator->courante()); });
    menu->addSeparator();
    QAction *quitter = menu->addAction(QStringLiteral("Quitter"));
    quitter->setObjectName(QStringLiteral("quitter"));
    connect(quitter, &QAction::triggered, qApp, &QCoreApplication::quit);

    const int t = lireTimer();
    auto *groupeIntervalle = new QActionGroup(menuIntervalle);
    for (const Entree &preset : presets) {
        QAction *a = nouvelleAction(QString::fromUtf8(preset.texte), menu, groupeIntervalle, menuIntervalle);
        a->setProperty("timer", preset.valeur);
        a->setProperty("perso", false);
    }
    QAction *perso = nouvelleAction(QStringLiteral("Personnalisé"), menu, groupeIntervalle, menuIntervalle);
    perso->setProperty("timer", t);
    perso->setProperty("perso", true);
    cocherIntervalle(groupeIntervalle, t);
    connect(groupeIntervalle, &QActionGroup::triggered, this, &Papirol2::on_changerIntervalle);

    const int p = lirePosition();
    auto *groupePosition = new QActionGroup(menuPosition);
    for (const Entree &d : dispositions) {
        QAction *a = nouvelleAction(QString::fromUtf8(d.texte), menu, groupePosition, menuPosition);
        a->setChecked(p == d.valeur);
        a->setProperty("position", d.valeur);
    }
    connect(groupePosition, &QActionGroup::triggered, this, &Papirol2::on_changerStyle);
    menuPosition->addSeparator();
    QAction *parEcran = menuPosition->addAction(QStringLiteral("Un fond par écran"));
    parEcran->setObjectName(QStringLiteral("par-ecran"));
    parEcran->setCheckable(true);
    parEcran->setChecked(rotator->parEcran());
    connect(parEcran, &QAction::toggled, this, [this](bool coche) {
        enregistrerParEcran(coche);
        rotator->changerParEcran(coche);
    });

    // A menu and a group look each entry added up among those they hold: past entreesParMenu locations, the
    // entries go by that many into submenus, each filled when first opened, or the build would take the
    // square of their number.
    const int lignes = emplacements->rowCount();
    if (lignes <= entreesParMenu) {
        ajouterEntreesEmplacements(menuEmplacements, 0, lignes);
    } else {
        for (int debut = 0; debut < lignes; debut += entreesParMenu) {
            const int fin = std::min(debut + entreesParMenu, lignes);
            QMenu *tranche = menuEmplacements->addMenu(QStringLiteral("%1 – %2").arg(debut + 1).arg(fin));
            connect(tranche, &QMenu::aboutToShow, this, [this, tranche, debut, fin]() {
                if (tranche->isEmpty())
                    ajouterEntreesEmplacements(tranche, debut, fin);
            });
        }
    }

    menuEmplacements->addSeparator();
    auto *modifier = new QAction(QStringLiteral("Modifier la liste"), menuEmplacements);
    menuEmplacements->addAction(modifier);
    connect(modifier, &QAction::triggered, this, &QWidget::show);

    on_memoireChangee();
    trayIcon->setContextMenu(menu);
}
