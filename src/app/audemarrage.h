#pragma once

/**
 * papirol2 --au-demarrage oui|non: the session starts the program at login, in the current folder so that
 * the same Papirol2.ini is used, or no longer does: on Linux a freedesktop autostart entry, on Windows a
 * shortcut in the Startup folder made by the shell itself. Says what it did in French; returns the exit code.
 */
int reglerAuDemarrage(bool oui);
