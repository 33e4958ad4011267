#include "filtre.h"

#include "saisie.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

Filtre::Filtre(QWidget *parent)
    : QDialog(parent, Qt::WindowFlags())
{
    preparerSaisie(this, "filtreClass");

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

    terminerSaisie(this, label);
    // "OK" confirms a pattern; Escape and the close button add nothing. A blank pattern would match no file.
    connect(OK, &QPushButton::clicked, this, &QDialog::accept);
    const auto verifier = [this] {
        OK->setEnabled(!filtre->text().trimmed().isEmpty());
    };
    connect(filtre, &QLineEdit::textChanged, this, verifier);
}

QString Filtre::getFiltre() const
{
    return filtre->text();
}
