#include "filtre.h"

#include "ajustement.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>

Filtre::Filtre(QWidget *parent)
    : QDialog(parent, Qt::WindowFlags())
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("filtreClass"));
    setWindowModality(Qt::ApplicationModal);
    resize(260, 113);
    setModal(true);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(QRect(10, 10, 251, 31));
    label->setWordWrap(true);

    filtre = new QLineEdit(this);
    filtre->setObjectName(QStringLiteral("filtre"));
    filtre->setGeometry(QRect(20, 50, 221, 20));

    OK = new QPushButton(this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(QRect(80, 80, 100, 23));

    setWindowTitle(QCoreApplication::translate("filtreClass", "Définition du filtre"));
    label->setText(QCoreApplication::translate("filtreClass",
                                               "Veuillez saisir le filtre à utiliser pour chercher des fonds "
                                               "d'écran dans le répertoire sélectionné :"));
    filtre->setText(QCoreApplication::translate("filtreClass", "*.jpg"));
    OK->setText(QCoreApplication::translate("filtreClass", "OK"));

    QMetaObject::connectSlotsByName(this);
    // Sized for the fonts the form was drawn with; larger ones would clip the prompt.
    ajusterAuTexte(this, label);

    setWindowIcon(QIcon(QStringLiteral(":/Papirol2.png")));
    // Hiding rather than accepting: the caller reads the text however the dialog was left.
    connect(OK, &QPushButton::clicked, this, &QWidget::hide);
}

QString Filtre::getFiltre() const
{
    return filtre->text();
}
