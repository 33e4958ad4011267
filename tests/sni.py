#!/usr/bin/python3
"""The tray icon as a StatusNotifier host sees it, on the session bus.
  sni.py hote                      a watcher and host of our own, for a session that has none
  sni.py verifier <pid> <config>   finds that process's item, reads its menu over dbusmenu, clicks through it
                                   (the picture shown is read from <config>/papirol2/rotation.ini).
"""
import configparser
import sys
import time

from gi.repository import Gio, GLib

WATCHER, CHEMIN_W = 'org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher'
bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def appel(nom, chemin, interface, methode, args=None):
    return bus.call_sync(nom, chemin, interface, methode, args, None, 0, 5000, None).unpack()


def propriete(nom, chemin, interface, p):
    return appel(nom, chemin, 'org.freedesktop.DBus.Properties', 'Get', GLib.Variant('(ss)', (interface, p)))[0]


def attendre(condition, secondes=30):
    fin = time.monotonic() + secondes
    while time.monotonic() < fin:
        try:
            r = condition()
            if r:
                return r
        except GLib.Error:
            pass
        time.sleep(0.1)
    return None


def hote():
    items = []
    xml = f'''<node><interface name="{WATCHER}">
      <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
      <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
      <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
      <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
      <property name="ProtocolVersion" type="i" access="read"/>
      <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
      <signal name="StatusNotifierHostRegistered"/></interface></node>'''

    def methode(conn, expediteur, chemin, interface, nom, params, invocation):
        if nom == 'RegisterStatusNotifierItem':
            s = params.unpack()[0]
            items.append(expediteur + s if s.startswith('/') else s + '/StatusNotifierItem')
            conn.emit_signal(None, CHEMIN_W, WATCHER, 'StatusNotifierItemRegistered', GLib.Variant('(s)', (s,)))
        invocation.return_value(None)

    def lire(conn, expediteur, chemin, interface, nom):
        return {'RegisteredStatusNotifierItems': GLib.Variant('as', items),
                'IsStatusNotifierHostRegistered': GLib.Variant('b', True),
                'ProtocolVersion': GLib.Variant('i', 0)}[nom]

    bus.register_object(CHEMIN_W, Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0], methode, lire, None)
    Gio.bus_own_name_on_connection(bus, WATCHER, Gio.BusNameOwnerFlags.NONE,
                                   lambda c, n: c.emit_signal(None, CHEMIN_W, WATCHER, 'StatusNotifierHostRegistered', None),
                                   lambda c, n: sys.exit('watcher name taken'))
    GLib.MainLoop().run()


def proprietes(entree):
    return {'label': '', 'toggle-type': '', 'toggle-state': -1, 'type': 'standard', **entree[1], 'id': entree[0]}


def verifier(pid, config):
    def notre_item():
        for i in propriete(WATCHER, CHEMIN_W, WATCHER, 'RegisteredStatusNotifierItems'):
            nom, _, chemin = i.partition('/')  # 'service/path', or 'service@/path' (GNOME's extension)
            nom = nom.rstrip('@')
            if appel('org.freedesktop.DBus', '/', 'org.freedesktop.DBus', 'GetConnectionUnixProcessID',
                     GLib.Variant('(s)', (nom,)))[0] == pid:
                return nom, '/' + (chemin or 'StatusNotifierItem')
    item = attendre(notre_item)
    if not item:
        sys.exit(f'FAIL - no StatusNotifier item of process {pid} on the watcher')
    menu = propriete(*item, 'org.kde.StatusNotifierItem', 'Menu')
    echecs = []

    def arbre():  # {label: (properties, [(label, properties) of its entries])}
        racine = appel(item[0], menu, 'com.canonical.dbusmenu', 'GetLayout', GLib.Variant('(iias)', (0, -1, [])))[1]
        return {proprietes(e)['label']: (proprietes(e), [(proprietes(f)['label'], proprietes(f)) for f in e[2]])
                for e in racine[2] if proprietes(e)['type'] != 'separator'}

    def image():
        p = configparser.ConfigParser(interpolation=None)
        p.read(f'{config}/papirol2/rotation.ini')
        return p.get('General', 'dernier', fallback='')

    # Over dbusmenu each menu keeps its marks: one radio checked in Intervalle and Position, check marks in
    # Emplacements (one location, selected) and on Activer.
    a = arbre()
    for nom, marque in [('Intervalle', 'radio'), ('Position', 'radio'), ('Emplacements', 'checkmark')]:
        sous = [p for _, p in a.get(nom, ({}, []))[1] if p['toggle-type']]
        if not sous or any(p['toggle-type'] != marque for p in sous) or sum(p['toggle-state'] == 1 for p in sous) != 1:
            echecs.append(f'{nom}: {[(p["label"], p["toggle-type"], p["toggle-state"]) for p in sous]}')
    if a.get('Activer', ({},))[0].get('toggle-type') != 'checkmark':
        echecs.append('Activer carries no check mark')

    def cliquer(nom, sous_nom=None):
        props, sous = arbre()[nom]
        props = dict(sous)[sous_nom] if sous_nom else props
        appel(item[0], menu, 'com.canonical.dbusmenu', 'Event',
              GLib.Variant('(isvu)', (props['id'], 'clicked', GLib.Variant('i', 0), 0)))

    def coche(disposition):
        return dict(arbre()['Position'][1])[disposition]['toggle-state'] == 1

    if not coche('Remplissage'):  # nothing stored yet: the layout in force
        echecs.append('Position: "Remplissage" not checked on a first start')

    # What each click is, and what must follow it.
    avant = image()
    CLICS = [('Activate(0, 0)', lambda: appel(*item, 'org.kde.StatusNotifierItem', 'Activate', GLib.Variant('(ii)', (0, 0))),
              lambda: image() not in ('', avant)),
             ('"Changer"', lambda: cliquer('Changer'), lambda: image() not in ('', avant)),
             ('"Position/Centrer"', lambda: cliquer('Position', 'Centrer'), lambda: coche('Centrer'))]
    for quoi, faire, suite in CLICS:
        avant = image()
        faire()
        if not attendre(suite):
            echecs.append(f'{quoi} had no effect')
    for e in echecs:
        print('FAIL -', e)
    print('ok   - item, menu and clicks over StatusNotifierItem' if not echecs else '')
    sys.exit(1 if echecs else 0)


if __name__ == '__main__':
    hote() if sys.argv[1] == 'hote' else verifier(int(sys.argv[2]), sys.argv[3])
