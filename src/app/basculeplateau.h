#pragma once

#include <QObject>

/**
 * On X11, Qt puts a new tray icon in a StatusNotifier host when one is registered on the bus, else in XEmbed,
 * and never moves it: a host that comes after the program (a desktop extension turned on, a panel started
 * late) would never show the icon, and one that leaves would take it along. This watches the bus for the
 * host coming or going and says so: a new icon then goes where a tray is, except where Qt keeps its first
 * answer for the whole process (6.4), where the program restarts instead; every choice the menu shows is
 * stored, so the new copy comes back as it was. Built before the tray icon, after the bus probe; does
 * nothing without a session bus or outside X11.
 */
class BasculePlateau final : public QObject
{
    Q_OBJECT

public:
    explicit BasculePlateau(QObject *parent = nullptr);

signals:
    /** A StatusNotifier host came or left: the icon is not where it should be. */
    void hoteChange();

private slots:
    void on_changementHote();

private:
    bool hote = false;
};

/** Replaces the process with a new copy of the program, with the arguments it started with; returns only on
 * failure, with a code to exit with. */
int relancerProgramme(char **arguments);
