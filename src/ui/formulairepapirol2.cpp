#include "formulairepapirol2.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMetaObject>
#include <QSizePolicy>
#include <QVariant>

namespace Ui {

void Papirol2Class::setupUi(QWidget *fenetre)
{
    if (fenetre->objectName().isEmpty())
        fenetre->setObjectName(QStringLiteral("Papirol2Class"));
    fenetre->resize(600, 400);
    QSizePolicy politique(QSizePolicy::Fixed, QSizePolicy::Fixed);
    politique.setHorizontalStretch(0);
    politique.setVerticalStretch(0);
    politique.setHeightForWidth(fenetre->sizePolicy().hasHeightForWidth());
    fenetre->setSizePolicy(politique);
    fenetre->setMinimumSize(QSize(600, 400));
    fenetre->setMaximumSize(QSize(600, 400));

    tableView = new QTableView(fenetre);
    tableView->setObjectName(QStringLiteral("tableView"));
    tableView->setGeometry(QRect(10, 10, 581, 351));
    tableView->setProperty("showDropIndicator", QVariant(false));
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setTextElideMode(Qt::ElideNone);
    tableView->setGridStyle(Qt::DashLine);
    tableView->horizontalHeader()->setCascadingSectionResizes(true);
    tableView->horizontalHeader()->setHighlightSections(false);
    tableView->horizontalHeader()->setStretchLastSection(true);
    tableView->verticalHeader()->setVisible(false);
    tableView->verticalHeader()->setHighlightSections(false);

    boutonAjouter = new QPushButton(fenetre);
    boutonAjouter->setObjectName(QStringLiteral("boutonAjouter"));
    boutonAjouter->setGeometry(QRect(10, 370, 75, 23));

    boutonSupprimer = new QPushButton(fenetre);
    boutonSupprimer->setObjectName(QStringLiteral("boutonSupprimer"));
    boutonSupprimer->setGeometry(QRect(100, 370, 75, 23));

    retranslateUi(fenetre);

    QMetaObject::connectSlotsByName(fenetre);
}

void Papirol2Class::retranslateUi(QWidget *fenetre)
{
    fenetre->setWindowTitle(QCoreApplication::translate("Papirol2Class", "Papirol 2"));
    boutonAjouter->setText(QCoreApplication::translate("Papirol2Class", "Ajouter"));
    boutonSupprimer->setText(QCoreApplication::translate("Papirol2Class", "Supprimer"));
}

} // namespace Ui
