#pragma once

/** A session bus that takes connections but never answers (its daemon stopped) would hang Qt's first D-Bus
 * call, made while building the tray icon: asked to authenticate first, within a bound, a mute one is set
 * aside and the program runs without D-Bus. One absent or refusing is left to Qt, which copes with it. */
void sonderBusSession();
