#pragma once

/**
 * papirol2 --au-demarrage oui|non: the session starts the program at login, in the current folder so that
 * the same Papirol2.ini is used, or no longer does. On Linux a freedesktop autostart entry. Says what it
 * did in French; returns the exit code.
 */
int reglerAuDemarrage(bool oui);
