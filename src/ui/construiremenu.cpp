#include "papirol2.h"

#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "settings/configuration.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>

namespace {
struct Preset
{
    const char *texte;
    int secondes;
};
constexpr Preset presets[] = {
    {"30 secondes", 30}, {"1 minute", 60}, {"2 minutes", 120}, {"5 minutes", 300}, {"10 minutes", 600},
};

struct EntreePosition
{
    const char *texte;
    int position;
};
constexpr EntreePosition dispositions[] = {
    {"Étirer", 3}, {"Mosaïque", 2}, {"Centrer", 1}, {"Ajuster", 4}, {"Remplissage", 5},
};

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

// Rebuilt whole; every check mark is read back from where the choice is stored.
void Papirol2::construireMenu()
{
    delete menu;
    menu = new QMenu;

    QAction *changer = menu->addAction(QStringLiteral("Changer"));
    connect(changer, &QAction::triggered, rotator, &Rotator::changerWallpaper);

    auto *activer = new QAction(QStringLiteral("Activer"), menu);
    activer->setCheckable(true);
    menu->addAction(activer);
    connect(activer, &QAction::toggled, this, &Papirol2::on_activer);
    // Checked after connecting: a stored "on" starts the rotation right here.
    activer->setChecked(lireActif());

    menu->addSeparator();
    QMenu *menuIntervalle = menu->addMenu(QStringLiteral("Intervalle"));
    QMenu *menuPosition = menu->addMenu(QStringLiteral("Position"));
    QMenu *menuEmplacements = menu->addMenu(QStringLiteral("Emplacements"));
    menu->addSeparator();
    QAction *quitter = menu->addAction(QStringLiteral("Quitter"));
    connect(quitter, &QAction::triggered, qApp, &QCoreApplication::quit);

    const int t = lireTimer();
    auto *groupeIntervalle = new QActionGroup(menuIntervalle);
    for (const Preset &preset : presets) {
        QAction *a = nouvelleAction(QString::fromUtf8(preset.texte), menu, groupeIntervalle, menuIntervalle);
        a->setProperty("timer", preset.secondes);
        a->setProperty("perso", false);
    }
    QAction *perso = nouvelleAction(QStringLiteral("Personnalisé"), menu, groupeIntervalle, menuIntervalle);
    perso->setProperty("timer", t);
    perso->setProperty("perso", true);
    cocherIntervalle(groupeIntervalle, t);
    connect(groupeIntervalle, &QActionGroup::triggered, this, &Papirol2::on_changerIntervalle);

    const int p = lirePosition();
    auto *groupePosition = new QActionGroup(menuPosition);
    for (const EntreePosition &d : dispositions) {
        QAction *a = nouvelleAction(QString::fromUtf8(d.texte), menu, groupePosition, menuPosition);
        a->setChecked(p == d.position);
        a->setProperty("position", d.position);
    }
    connect(groupePosition, &QActionGroup::triggered, this, &Papirol2::on_changerStyle);

    auto *groupeEmplacements = new QActionGroup(menuEmplacements);
    groupeEmplacements->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (int r = 0; r < emplacements->rowCount(); ++r) {
        QString texte = emplacements->filtreEmplacement(r) + QStringLiteral(" dans ")
            + emplacements->cheminEmplacement(r);
        // An "&" in a folder name is text, not a keyboard accelerator.
        texte.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = nouvelleAction(texte, menu, groupeEmplacements, menuEmplacements);
        a->setChecked(emplacements->estSelectionne(r));
        a->setProperty("index", r);
    }
    connect(groupeEmplacements, &QActionGroup::triggered, this, &Papirol2::on_changerEmplacement);

    menuEmplacements->addSeparator();
    auto *modifier = new QAction(QStringLiteral("Modifier la liste"), menuEmplacements);
    menuEmplacements->addAction(modifier);
    connect(modifier, &QAction::triggered, this, &QWidget::show);

    trayIcon->setContextMenu(menu);
}
