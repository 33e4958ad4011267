#pragma once

#include <QDialog>

class QLineEdit;

/** A small modal dialog asking for one line: a prompt, the field and its unit, "OK", which a blank field
 * disables; Escape and the close button reject it. */
class Saisie final : public QDialog
{
    Q_OBJECT

public:
    Saisie(const QString &titre, const QString &invite, const QString &texte, const QString &unite = {},
           QWidget *parent = nullptr);

    /** The text as typed, spaces included. */
    QLineEdit *const champ;
};
