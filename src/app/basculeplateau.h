#pragma once

#include <QObject>

/**
 * On X11, Qt puts a new tray icon in a StatusNotifier host when one is registered, else in XEmbed, and never
 * moves it. This says when a host comes or goes: a new icon then goes where a tray is, or, where Qt keeps its
 * first answer for the process (6.4), the program restarts, every choice of the menu being stored. Built
 * before the tray icon, after the bus probe; does nothing without a session bus or outside X11.
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
