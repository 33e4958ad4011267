#pragma once

/**
 * A session bus that accepts connections but never answers (its daemon stopped or wedged) would hang the
 * first D-Bus call for good, and Qt makes one while building the tray icon. Before anything of Qt touches
 * the bus, its socket is asked to authenticate within a bound; when no answer comes, the program runs
 * without D-Bus and logs it. A bus that is absent or refuses is left to Qt, which copes with it.
 */
void sonderBusSession();
