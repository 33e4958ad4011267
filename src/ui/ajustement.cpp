#include "ajustement.h"

#include <QLabel>

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
    if (unite && unite->sizeHint().width() > unite->width())
        unite->resize(unite->sizeHint().width(), unite->height());
}
