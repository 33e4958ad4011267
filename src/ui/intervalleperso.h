#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/** Asks for a custom number of seconds between two wallpaper changes. */
class IntervallePerso final : public QDialog
{
    Q_OBJECT

public:
    explicit IntervallePerso(QWidget *parent = nullptr);

    /** Shows secondes in decimal in the input field. */
    void setIntervalle(int secondes);
    /** The typed number in base 10, or 0 when the text is not one. */
    int getIntervalle() const;
    /** True, with *secondes set, only when the text is a whole number from 1 to 2147483. */
    bool lireIntervalle(int *secondes) const;

private:
    QLabel *label;
    QLabel *label_2;
    QLineEdit *intervalle;
    QPushButton *OK;
};
