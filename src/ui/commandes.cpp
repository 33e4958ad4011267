#include "papirol2.h"

#include <QAction>
#include <QMenu>

void Papirol2::on_commande(const QString &mot)
{
    const bool desactiver = mot == QLatin1String("desactiver");
    QAction *entree = menu->findChild<QAction *>(desactiver ? QStringLiteral("activer") : mot);
    if (!entree)
        return;
    // "Activer" is a check box: a command says which state it wants, a click would flip it.
    if (entree->isCheckable())
        entree->setChecked(!desactiver);
    else
        entree->trigger();
}
