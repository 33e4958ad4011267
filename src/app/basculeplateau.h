#pragma once

#include <QObject>

/**
 * On X11, Qt picks the tray once: a StatusNotifier item when a host is registered on the bus, else XEmbed,
 * and up to Qt 6.8 it keeps that first answer for the whole process, so a new QSystemTrayIcon would land in
 * XEmbed again. A host that comes after the program (a desktop extension turned on, a panel started late)
 * would never show the icon. When there was none at start, this watches the bus for one and then asks for
 * a restart: every choice the menu shows is stored, so the new copy comes back as it was, on the host.
 * Built before the tray icon, after the bus probe; does nothing without a session bus or outside X11.
 */
class BasculePlateau final : public QObject
{
    Q_OBJECT

public:
    explicit BasculePlateau(QObject *parent = nullptr);

signals:
    /** A StatusNotifier host is there now, and the icon is not on it: time to restart. */
    void hoteApparu();

private slots:
    void on_changementHote();

private:
    bool signale = false;
};

/** Replaces the process with a new copy of the program, with the arguments it started with; returns only on
 * failure, with a code to exit with. */
int relancerProgramme(char **arguments);
