#include "papirol2.h"

#include "locations/listeemplacements.h"
#include "rotation/rotator.h"
#include "saisie.h"
#include "settings/configuration.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>

#include <algorithm>

Q_LOGGING_CATEGORY(lcInterface, "papirol2.interface", QtCriticalMsg)

namespace {
// Set-aside pictures named in their submenu, the latest.
constexpr int ecarteesMontrees = 20;

// Told its format: guessing it would load every image plugin at start (320 KiB more, measured).
QIcon lireIcone()
{
    QImageReader lecteur(QStringLiteral(":/Papirol2.png"), "png");
    lecteur.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(lecteur.read()));
}
} // namespace

Papirol2::Papirol2(QWidget *parent)
    : QWidget(parent)
{
    emplacements = new ListeEmplacements;
    emplacements->charger();

    // The program's windows and dialogs all take it.
    QApplication::setWindowIcon(lireIcone());
    setWindowFlags(Qt::Dialog);

    // Without a tray the program still rotates; the icon shows once a tray appears.
    creerIcone();

    rotator = new Rotator;
    // Listing a hundred thousand files while the tray embeds the icon held the icon back by a third; the
    // pictures are not wanted before the first change, which waits for them.
    rotator->differerListages(200);
    rotator->chargerFichiers(emplacements);
    connect(rotator, &Rotator::memoireChangee, this, &Papirol2::on_memoireChangee);

    construireMenu();
}

void Papirol2::creerIcone()
{
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setToolTip(infobulle());
    connect(trayIcon, &QSystemTrayIcon::activated, this, &Papirol2::on_trayIconAction);
    trayIcon->setVisible(true);
}

void Papirol2::recreerIcone()
{
    delete trayIcon;
    creerIcone();
    trayIcon->setContextMenu(menu);
}

void Papirol2::setVisible(bool visible)
{
    // Built when first opened: a table view loads the fonts, a few MiB a tray program that sits idle all day
    // need not hold.
    if (visible && !table) {
        setWindowTitle(QStringLiteral("Papirol 2"));
        setFixedSize(600, 400);
        table = new QTableView;
        table->setModel(emplacements);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setTextElideMode(Qt::ElideNone);
        table->setGridStyle(Qt::DashLine);
        table->horizontalHeader()->setStretchLastSection(true);
        table->verticalHeader()->setVisible(false);
        boutonAjouter = new QPushButton(QStringLiteral("Ajouter"));
        boutonSupprimer = new QPushButton(QStringLiteral("Supprimer"));
        auto *boutons = new QHBoxLayout;
        boutons->addWidget(boutonAjouter);
        boutons->addWidget(boutonSupprimer);
        boutons->addStretch();
        auto *colonne = new QVBoxLayout(this);
        colonne->addWidget(table);
        colonne->addLayout(boutons);
        connect(boutonAjouter, &QPushButton::clicked, this, &Papirol2::on_ajouterEmplacement);
        connect(boutonSupprimer, &QPushButton::clicked, this, &Papirol2::on_supprimerEmplacement);
    }
    QWidget::setVisible(visible);
}

Papirol2::~Papirol2()
{
    delete emplacements;
    delete rotator;
    delete trayIcon;
    delete menu;
}

void Papirol2::closeEvent(QCloseEvent *event)
{
    setVisible(false);
    event->ignore();
}

void Papirol2::on_trayIconAction(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        rotator->changerWallpaper();
}

void Papirol2::on_activer(bool activer)
{
    enregistrerActif(activer);
    if (activer)
        rotator->demarrer();
    else
        rotator->arreter();
}

void Papirol2::on_changerIntervalle(QAction *action)
{
    int secondes = action->property("timer").toInt();
    if (action->property("perso").toBool()) {
        Saisie dialogue(QStringLiteral("Définition de l'intervalle personnalisé"),
                        QStringLiteral("Veuillez saisir la durée de l'intervalle que vous désirez entre deux "
                                       "changements de fond d'écran :"),
                        QString::number(secondes), QStringLiteral("seconde(s)"));
        // Read however the dialog was left, Escape included; a typo must not become a 0 s interval.
        dialogue.exec();
        bool nombre = false;
        secondes = dialogue.champ->text().toInt(&nombre);
        if (!nombre || secondes < 1 || secondes > intervalleMaximum) {
            qCInfo(lcInterface) << "custom interval refused:" << dialogue.champ->text();
            cocherIntervalle(action->actionGroup(), lireTimer());
            return;
        }
        action->setProperty("timer", secondes);
    }
    rotator->changerIntervalle(secondes);
}

void Papirol2::on_changerStyle(QAction *action)
{
    enregistrerPosition(action->property("position").toInt());
}

void Papirol2::on_changerEmplacement(QAction *action)
{
    const int i = action->property("index").toInt();
    if (i < 0 || i >= emplacements->rowCount())
        return;
    emplacements->setSelectionne(i, action->isChecked());
    rotator->chargerFichiers(emplacements);
}

void Papirol2::on_ajouterEmplacement()
{
    const QString depart = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog choix(this, QStringLiteral("Sélectionnez un répertoire"), depart, QString());
    choix.setFileMode(QFileDialog::Directory);
    choix.setOption(QFileDialog::ShowDirsOnly, true);
    if (choix.exec() != QDialog::Accepted)
        return;
    // The folder the user picked, not the one the dialog was browsing when they picked it.
    const QStringList choisis = choix.selectedFiles();
    const QString chemin = choisis.isEmpty() ? choix.directory().path() : QDir(choisis.first()).path();

    Saisie filtre(
        QStringLiteral("Définition du filtre"),
        QStringLiteral("Veuillez saisir le filtre à utiliser pour chercher des fonds d'écran dans le "
                       "répertoire sélectionné :"),
        QStringLiteral("*.jpg"));
    if (filtre.exec() != QDialog::Accepted)
        return;

    emplacements->ajouterEmplacement(chemin, filtre.champ->text());
    if (emplacements->rowCount() > 0)
        boutonSupprimer->setEnabled(true);
    construireMenu();
}

void Papirol2::on_supprimerEmplacement()
{
    const int r = table->selectionModel()->currentIndex().row();
    if (r >= 0 && r < emplacements->rowCount()) {
        const bool selectionne = emplacements->estSelectionne(r);
        emplacements->supprimerEmplacement(r);
        // A removed folder must stop showing up on the desktop now, not at some later rebuild.
        if (selectionne)
            rotator->chargerFichiers(emplacements);
    }
    if (emplacements->rowCount() == 0)
        boutonSupprimer->setEnabled(false);
    construireMenu();
}

bool Papirol2::on_commande(const QString &mot)
{
    // Asked by the client, which reads the picture from where it is kept.
    if (mot == QLatin1String("courante"))
        return !rotator->courante().isEmpty();
    // The command line names no monitor: the primary's picture.
    if (mot == QLatin1String("precedent"))
        return rotator->precedent();
    if (mot == QLatin1String("ne-plus-afficher"))
        return rotator->nePlusAfficher();
    const bool desactiver = mot == QLatin1String("desactiver");
    QAction *entree = menu->findChild<QAction *>(desactiver ? QStringLiteral("activer") : mot);
    if (!entree || !entree->isEnabled())
        return false;
    // "Activer" is a check box: a command says which state it wants, a click would flip it.
    if (entree->isCheckable())
        entree->setChecked(!desactiver);
    else
        entree->trigger();
    return true;
}

QString Papirol2::infobulle() const
{
    const QStringList chemins = rotator ? rotator->courantes() : QStringList();
    if (chemins.isEmpty())
        return QStringLiteral("Papirol 2");
    if (chemins.size() == 1) {
        const QFileInfo image(chemins.first());
        return image.fileName() + QLatin1Char('\n') + QDir::toNativeSeparators(image.path());
    }
    // One line per monitor, the primary first.
    QStringList lignes;
    for (const QString &chemin : chemins)
        lignes << QDir::toNativeSeparators(chemin);
    return lignes.join(QLatin1Char('\n'));
}

void Papirol2::on_memoireChangee()
{
    const bool montree = !rotator->courante().isEmpty();
    trayIcon->setToolTip(infobulle());
    menu->findChild<QAction *>(QStringLiteral("precedent"))
        ->setEnabled(!rotator->memoire().precedentes().isEmpty());
    menu->findChild<QAction *>(QStringLiteral("ne-plus-afficher"))->setEnabled(montree);
    menu->findChild<QAction *>(QStringLiteral("dossier"))->setEnabled(montree);

    // The latest first; each entry takes its picture back.
    menuEcartees->clear();
    const QStringList &ecartees = rotator->memoire().ecartees();
    for (qsizetype i = ecartees.size() - 1; i >= std::max<qsizetype>(0, ecartees.size() - ecarteesMontrees);
         --i) {
        QString texte = QFileInfo(ecartees[i]).fileName();
        texte.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = menuEcartees->addAction(texte);
        a->setToolTip(QDir::toNativeSeparators(ecartees[i]));
        connect(a, &QAction::triggered, rotator,
                [this, chemin = ecartees[i]] { rotator->reprendre(chemin); });
    }
    menuEcartees->addSeparator();
    menuEcartees->addAction(QStringLiteral("Tout reprendre"), rotator, [this] { rotator->reprendre({}); });
    menuEcartees->setEnabled(!ecartees.isEmpty());
}
