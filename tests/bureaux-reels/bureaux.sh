#!/bin/bash
# bureaux.sh <desktop> <appliquer> <papirol2>: that real desktop, driven through our backend (see commun.sh).
# shellcheck disable=SC2054 # appliquer's x,y,w,h values
set -u
. "$(dirname "$(realpath "$0")")/commun.sh"
CAS=${1:-} FAMILLE=${1:-}
shift
case "$CAS" in
mate) # caja draws the desktop from org.mate.background. Icons would cover the picture; they are not what is tested.
    COMMANDES=(caja gsettings) BUREAU=(caja -n --force-desktop)
    PAR_ECRAN=oui ETALE=(org.mate.background picture-filename)
    bureau_avant() { for c in {computer,home,trash,network}-icon volumes; do
        gsettings set org.mate.caja.desktop "$c-visible" false; done; natif_appliquer "$1"; }
    natif_appliquer() { gsettings set org.mate.background picture-filename "'$1'"; }
    ;;
xfce) # xfdesktop draws from xfconf's xfce4-desktop (Xvfb's output is "screen"); with no window manager, on the root.
    COMMANDES=(xfdesktop xfconf-query gdbus) BUREAU=(xfdesktop --sm-client-disable --disable-wm-check)
    PAR_ECRAN=oui && lire_ecrans() { for m in g d; do xfconf-query -c xfce4-desktop -p "${PROPRIETE//monitorscreen/monitor$m}"; done; }
    PROPRIETE=/backdrop/screen0/monitorscreen/workspace0/last-image
    # No icons over the picture; it starts on a picture that loads, as a change made while it failed to load its
    # default (not installed) has crashed xfdesktop 4.18 here.
    bureau_avant() { xfconf-query -c xfce4-desktop -p /desktop-icons/style -n -t int -s 0; natif_appliquer "$A"; }
    # 4.18 fills in the rest of the channel once started; 4.20 leaves it, and is ready once on the bus.
    bureau_pret() { if xfdesktop --version 2>/dev/null | grep -q 'version 4\.1'; then
        xfconf-query -c xfce4-desktop -p "${PROPRIETE%/*}/image-style" >/dev/null 2>&1; else sur_le_bus org.xfce.xfdesktop; fi; }
    natif_appliquer() { xfconf-query -c xfce4-desktop -p "$PROPRIETE" -n -t string -s "$1"; }
    ;;
lxqt) # pcmanfm-qt --desktop draws from its settings.conf and takes changes on the bus (BUS): its own --set-wallpaper
    # hands them to the running instance, or would become it.
    COMMANDES=(pcmanfm-qt gdbus) BUREAU=(env QT_QPA_PLATFORM=xcb pcmanfm-qt --desktop) BUS=org.pcmanfm.PCManFM
    AVANT_BUREAU=oui PAR_ECRAN=oui
    # No icons over the picture; a plain path, free of QSettings escapes; stretch, its default, never returned to.
    bureau_avant() { mkdir -p "$XDG_CONFIG_HOME/pcmanfm-qt/default" && printf '%s\n' "[Desktop]" HideItems=true \
        DesktopShortcuts= "BgColor=#000000" WallpaperMode=stretch "Wallpaper=$1" >"$XDG_CONFIG_HOME/pcmanfm-qt/default/settings.conf"; }
    natif_appliquer() { QT_QPA_PLATFORM=xcb pcmanfm-qt --set-wallpaper "$1"; }
    ;;
kde) # plasmashell draws each desktop's wallpaper from its org.kde.image configuration. Plasma 5 runs on X11 and
    # is watched on screen; Plasma 6 runs headless on Wayland (kwin_wayland, then kded6 for the StatusNotifier
    # watcher, then plasmashell), where nothing takes a screenshot without GL: its Image and FillMode are read back.
    QDBUS=/usr/lib/qt6/bin/qdbus IMAGE="d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
    COMMANDES=(plasmashell "$QDBUS") BUREAU=(env QT_QPA_PLATFORM=xcb plasmashell --no-respawn) AVANT_BUREAU=oui
    script() { "$QDBUS" org.kde.plasmashell /PlasmaShell org.kde.PlasmaShell.evaluateScript "$1"; }
    # On X11 the panel laid out at first start would hide some of the picture; on Wayland it holds the SNI host.
    bureau_pret() {
        local n && n=$(script 'print(desktops().length)' 2>/dev/null) && [ "${n:-0}" -gt 0 ] 2>/dev/null &&
            { [ "$FAMILLE" != kde ] || script 'panels().forEach(function (p) { p.remove(); })' >/dev/null; }
    }
    natif_appliquer() { script "desktops().forEach(function (d) { d.wallpaperPlugin = 'org.kde.image'; $IMAGE
        d.writeConfig('Image', 'file://$1'); })"; }
    if command -v kded6 >/dev/null 2>&1; then
        FAMILLE=kde-wayland MOTEUR=kde HOTE_SNI=oui COMMANDES+=(kwin_wayland kded6 python3) OPTIONS=(any 6 3 0 1 2)
        bureau_demarrer() {
            export WAYLAND_DISPLAY=wayland-kde XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=6 \
                XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
            # Else the activity manager, started by the bus, looks for X11 and plasmashell aborts.
            dbus-update-activation-environment --all
            lancer kwin kwin_wayland --virtual --width 1280 --height 800 --output-count 2 --socket wayland-kde --no-lockscreen
            until [ -S "$XDG_RUNTIME_DIR/wayland-kde" ]; do sleep 0.1; done
            lancer kded kded6
            lancer bureau plasmashell --no-respawn
        }
        lire() { script "var d = desktops()[0]; $IMAGE print(d.readConfig('Image') + '\n' + d.readConfig('FillMode'));"; }
        # Two outputs of one size: kwin's virtual backend has no other.
        PAR_ECRAN=oui && lire_ecrans() { script "print(desktops().sort(function (a, b) { return a.screen - b.screen; })
            .map(function (d) { $IMAGE return decodeURIComponent(d.readConfig('Image')).slice(7); }).join('\n'));"; }
    else # Plasma 5 takes no monitor without an output, all Xvfb has: Xorg's dummy driver, whose outputs it takes,
        # runs in its place. xvfb-run starts Xvfb by that name only, so in this mount namespace the name starts Xorg.
        COMMANDES+=(/usr/lib/xorg/Xorg) PAR_ECRAN=oui
        bureau_racine() {
            printf '%s\n' 'Section "Device"' 'Identifier "d"' 'Driver "dummy"' 'VideoRam 16384' 'EndSection' >"$TRAVAIL/xorg.conf"
            # shellcheck disable=SC2016 # the wrapper's: of xvfb-run's arguments, the display and, last, -auth <file>
            printf '#!/bin/bash\nexec /usr/lib/xorg/Xorg "$1" "${@: -2}" -nolisten tcp -noreset -config %q -logfile %q\n' \
                "$TRAVAIL/xorg.conf" "$TRAVAIL/traces/xorg.log" >"$TRAVAIL/outils/Xvfb" &&
                chmod +x "$TRAVAIL/outils/Xvfb" && mount --bind "$TRAVAIL/outils/Xvfb" "$(command -v Xvfb)"
        }
        # DUMMY0, the primary, at its smallest mode, as every check reads the screen. DUMMY1 counts as connected
        # once it had a mode, and only then do the desktop's screens take it: it has one before the desktop runs
        # (kept: -noreset).
        bureau_avant() { xrandr --output DUMMY0 --mode 640x480 && xrandr --addmode DUMMY1 800x600 && ecrans 2 && ecrans 1; }
        ecrans() { if [ "$1" = 2 ]; then xrandr --output DUMMY1 --mode 800x600 --pos 640x0; else xrandr --output DUMMY1 --off; fi; }
    fi
    ;;
gnome) # gnome-shell 48 or later, headless on Wayland, draws from org.gnome.desktop.background; it refuses screenshots
    # there, so its store is read back. It runs only with a system bus of its own and no login manager in sight (a
    # tmpfs over /run/systemd); the AppIndicator extension is its StatusNotifier host. (Before 48, X11 only: not run.)
    [ "$(gnome-shell --version 2>/dev/null | tr -dc '0-9.' | cut -d. -f1)" -ge 48 ] 2>/dev/null || passer "GNOME before 48"
    COMMANDES=(gnome-shell gsettings dbus-daemon gdbus python3) HOTE_SNI=oui OPTIONS=(any centered wallpaper stretched scaled zoom)
    PAR_ECRAN=oui ETALE=(org.gnome.desktop.background picture-uri)
    bureau_racine() { if [ -d /run/systemd ]; then mount -t tmpfs tmpfs /run/systemd; fi; }
    bureau_avant() {
        lancer bus-systeme dbus-daemon --session --nofork --address="unix:path=$TRAVAIL/bus-systeme"
        until [ -S "$TRAVAIL/bus-systeme" ]; do sleep 0.05; done
        export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$TRAVAIL/bus-systeme" && natif_appliquer "$1"
    }
    bureau_demarrer() {
        export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-g
        gsettings set org.gnome.shell disable-user-extensions false
        gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']"
        lancer bureau gnome-shell --headless --wayland --virtual-monitor 1280x800 --virtual-monitor 800x600 --wayland-display wayland-g
    }
    bureau_pret() { sur_le_bus org.kde.StatusNotifierWatcher; }
    natif_appliquer() { gsettings set org.gnome.desktop.background picture-uri "'file://$1'"; }
    lire() { local c; for c in picture-uri picture-options; do gsettings get org.gnome.desktop.background "$c"; done; }
    ;;
labwc) # a wlroots compositor with no background of its own: our swaybg child draws it on the background layer,
    # watched with grim. waybar, with only its tray module, is the StatusNotifier host (and its own watcher).
    COMMANDES=(labwc swaybg grim waybar gdbus python3 wlr-randr) MOTEUR=calque HOTE_SNI=oui BUS=org.kde.StatusNotifierWatcher
    # Its second output, of another size, is on only for the monitors' own pictures.
    PAR_ECRAN=oui && ecrans() { if [ "$1" = 2 ]; then wlr-randr --output HEADLESS-2 --on --custom-mode 800x600 --pos 1280,0
        else wlr-randr --output HEADLESS-1 --pos 0,0 --output HEADLESS-2 --off; fi; }
    # The bar at the top, and the pointer that labwc draws into the picture it hands grim, are not the picture.
    CAPTURE=(--ignorer 0,0,4000,40 --ignorer 0,0,160,160 --wayland)
    bureau_demarrer() {
        export XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-l
        mkdir -p "$XDG_CONFIG_HOME/waybar" && echo '{"layer": "top", "modules-right": ["tray"]}' >"$XDG_CONFIG_HOME/waybar/config"
        WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=2 WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 lancer compositeur labwc
        until [ -S "$XDG_RUNTIME_DIR/wayland-l" ] || [ -S "$XDG_RUNTIME_DIR/wayland-0" ]; do sleep 0.1; done
        [ -S "$XDG_RUNTIME_DIR/wayland-l" ] || export WAYLAND_DISPLAY=wayland-0
        ecrans 1
        lancer bureau waybar
    }
    natif_appliquer() { [ -z "${NATIF:-}" ] || kill "$NATIF"; swaybg -i "$1" -m fill & NATIF=$! PIDS+=("$!"); }
    ;;
*) echo "unknown desktop: $CAS" >&2; exit 2 ;;
esac
executer "$@"
