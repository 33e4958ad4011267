#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/** Asks for the file name filter used to look for wallpapers in a chosen folder; accepted only by "OK". */
class Filtre final : public QDialog
{
    Q_OBJECT

public:
    explicit Filtre(QWidget *parent = nullptr);

    /** The filter exactly as typed, spaces and separators included. */
    QString getFiltre() const;

private:
    QLabel *label;
    QLineEdit *filtre;
    QPushButton *OK;
};
