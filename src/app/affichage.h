#pragma once

/**
 * Without a display Qt aborts with a core dump and a page of text. The program says instead, in one French
 * line on stderr, that there is no graphical session, and exits with 1, when Qt cannot open a display (none
 * named, a Wayland socket gone, an X server refusing us).
 */
class GardeAffichage
{
public:
    /** Watches Qt's messages until fin(). */
    GardeAffichage();
    ~GardeAffichage();
    /** The application object is built: Qt's messages from it on go where they always went. */
    void fin();

    GardeAffichage(const GardeAffichage &) = delete;
    GardeAffichage &operator=(const GardeAffichage &) = delete;

private:
    bool active = false;
};
