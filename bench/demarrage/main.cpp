// The floor for bench/demarrage.sh: a Qt 6 program that does nothing but show a tray icon.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QSystemTrayIcon icone {QIcon(pixmap)};
    icone.show();
    return application.exec();
}
