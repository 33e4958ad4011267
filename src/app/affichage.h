#pragma once

/**
 * Without a display Qt aborts with a core dump and a page of text. The program says instead, in one French
 * line on stderr, that there is no graphical session, and exits with 1: at once when the environment names
 * no display, else when Qt cannot open the one it names (a Wayland socket gone, an X server refusing us).
 */
class GardeAffichage
{
public:
    /** Exits when the environment names no display; else watches Qt's messages until fin(). */
    GardeAffichage(int argc, char *argv[]);
    ~GardeAffichage();
    /** The application object is built: Qt's messages from it on go where they always went. */
    void fin();

    GardeAffichage(const GardeAffichage &) = delete;
    GardeAffichage &operator=(const GardeAffichage &) = delete;

private:
    bool active = false;
};
