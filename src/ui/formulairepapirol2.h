#pragma once

#include <QPushButton>
#include <QTableView>
#include <QWidget>

namespace Ui {

/** Widgets of the location list window, laid out at fixed positions on a window of fixed size. */
class Papirol2Class
{
public:
    QTableView *tableView = nullptr;
    QPushButton *boutonAjouter = nullptr;
    QPushButton *boutonSupprimer = nullptr;

    /** Creates the widgets as children of fenetre and wires slots named on_<objet>_<signal>. */
    void setupUi(QWidget *fenetre);
    /** Sets the window title and button texts in the current language. */
    void retranslateUi(QWidget *fenetre);
};

} // namespace Ui
