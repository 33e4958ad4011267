#include "saisie.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

Saisie::Saisie(const QString &titre, const QString &invite, const QString &texte, const QString &unite,
               QWidget *parent)
    : QDialog(parent)
    , champ(new QLineEdit(texte))
{
    setWindowTitle(titre);
    setMinimumWidth(260);
    auto *etiquette = new QLabel(invite);
    etiquette->setWordWrap(true);
    auto *ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    auto *ligne = new QHBoxLayout;
    ligne->addWidget(champ);
    if (!unite.isEmpty())
        ligne->addWidget(new QLabel(unite));
    auto *colonne = new QVBoxLayout(this);
    colonne->addWidget(etiquette);
    colonne->addLayout(ligne);
    colonne->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(champ, &QLineEdit::textChanged, ok,
            [ok](const QString &t) { ok->setEnabled(!t.trimmed().isEmpty()); });
}
