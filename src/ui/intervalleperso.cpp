#include "intervalleperso.h"

#include "saisie.h"
#include "settings/configuration.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

IntervallePerso::IntervallePerso(QWidget *parent)
    : QDialog(parent, Qt::WindowFlags())
{
    preparerSaisie(this, "intervallePersoClass");

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(QRect(10, 10, 251, 31));
    label->setWordWrap(true);

    label_2 = new QLabel(this);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(QRect(180, 50, 61, 20));

    intervalle = new QLineEdit(this);
    intervalle->setObjectName(QStringLiteral("intervalle"));
    intervalle->setGeometry(QRect(20, 50, 151, 20));

    OK = new QPushButton(this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(QRect(80, 80, 100, 23));

    setWindowTitle(
        QCoreApplication::translate("intervallePersoClass", "Définition de l'intervalle personnalisé"));
    label->setText(
        QCoreApplication::translate("intervallePersoClass",
                                    "Veuillez saisir la durée de l'intervalle que vous désirez entre "
                                    "deux changements de fond d'écran :"));
    label_2->setText(QCoreApplication::translate("intervallePersoClass", "seconde(s)"));
    OK->setText(QCoreApplication::translate("intervallePersoClass", "OK"));

    terminerSaisie(this, label, label_2);
    // Hiding rather than accepting: the caller reads the field however the dialog was left.
    connect(OK, &QPushButton::clicked, this, &QWidget::hide);
}

void IntervallePerso::setIntervalle(int secondes)
{
    intervalle->setText(QString::number(secondes, 10));
}

int IntervallePerso::getIntervalle() const
{
    // The caller decides what 0 means.
    return intervalle->text().toInt(nullptr, 10);
}

bool IntervallePerso::lireIntervalle(int *secondes) const
{
    bool ok = false;
    const int valeur = intervalle->text().toInt(&ok, 10);
    if (!ok || valeur < 1 || valeur > intervalleMaximum)
        return false;
    *secondes = valeur;
    return true;
}
