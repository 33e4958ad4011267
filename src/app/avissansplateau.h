#pragma once

class QObject;

/**
 * Where no notification area shows the icon a few seconds after start (neither an XEmbed tray manager nor a
 * StatusNotifier host), the program is invisible: the user is told so once per run, in French, through the
 * desktop's notification service, else on stderr, with the command line to reach the program. A tray that
 * comes later still shows the icon.
 */
void prevoirAvisSansPlateau(QObject *parent);
