#include "saisie.h"

#include <QDialog>
#include <QLabel>
#include <QMetaObject>

void preparerSaisie(QDialog *dialogue, const char *nom)
{
    if (dialogue->objectName().isEmpty())
        dialogue->setObjectName(QLatin1String(nom));
    dialogue->setWindowModality(Qt::ApplicationModal);
    dialogue->resize(260, 113);
    dialogue->setModal(true);
}

void terminerSaisie(QDialog *dialogue, QLabel *invite, QLabel *unite)
{
    QMetaObject::connectSlotsByName(dialogue);
    // Sized for the fonts the form was drawn with; larger ones would clip the prompt.
    ajusterAuTexte(dialogue, invite, unite);
}

void ajusterAuTexte(QWidget *dialogue, QLabel *invite, QLabel *unite)
{
    const int manque = invite->heightForWidth(invite->width()) - invite->height();
    if (manque > 0) {
        const int bas = invite->geometry().bottom();
        for (QWidget *w : dialogue->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w != invite && w->y() > bas)
                w->move(w->x(), w->y() + manque);
        }
        invite->resize(invite->width(), invite->height() + manque);
        dialogue->resize(dialogue->width(), dialogue->height() + manque);
    }
    if (unite && unite->sizeHint().width() > unite->width()) {
        // The dialog widens with the unit, keeping the margin it had on its right.
        const int marge = dialogue->width() - unite->x() - unite->width();
        unite->resize(unite->sizeHint().width(), unite->height());
        dialogue->resize(qMax(dialogue->width(), unite->x() + unite->width() + marge), dialogue->height());
    }
}
