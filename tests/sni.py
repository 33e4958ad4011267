#!/usr/bin/python3
"""The tray icon as a StatusNotifier host sees it, on the session bus.
  sni.py hote                                a watcher and host of our own, for a session that has none
  sni.py cliquer <pid> <entry>               clicks one menu entry ("Images écartées/Tout reprendre")
  sni.py verifier <pid> <config> <images> [bureau]
                                             finds that process's item, reads its menu over dbusmenu, clicks
                                             through it (the picture shown is read from <config>/papirol2/rotation.ini);
                                             with bureau, on a real desktop: the layout in force is the desktop's own
                                             and its mark is not judged, and "Quitter" is clicked last (its exit code
                                             is the caller's to check); without, a stand-in file manager on the bus
                                             takes "Ouvrir le dossier de l'image".
"""
import configparser
import os
import re
import sys
import time
import urllib.parse

from gi.repository import Gio, GLib

WATCHER, CHEMIN_W = 'org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher'
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
# The whole menu of a first start with active=false, timer=600 and one selected location: texts, order and marks
# ([x] check mark, (x) radio, - greyed). Nothing stored for the layout: the one in force, Remplissage, is checked.
MENU = '''Changer|Précédent -|Activer [ ]|Intervalle|  30 secondes ( )|  1 minute ( )|  2 minutes ( )|  5 minutes ( )
|  10 minutes (x)|  Personnalisé ( )|Position|  Étirer ( )|  Mosaïque ( )|  Centrer ( )|  Ajuster ( )|  Remplissage (x)
|Emplacements|  *.jpg dans {} [x]|  Modifier la liste|Ne plus afficher -|Images écartées -|  Tout reprendre
|Ouvrir le dossier de l'image -|Quitter'''.replace('\n', '')


def appel(nom, chemin, interface, methode, args=None):
    return bus.call_sync(nom, chemin, interface, methode, args, None, 0, 5000, None).unpack()


def propriete(nom, chemin, interface, p):
    return appel(nom, chemin, 'org.freedesktop.DBus.Properties', 'Get', GLib.Variant('(ss)', (interface, p)))[0]


def attendre(condition, secondes=30):
    fin = time.monotonic() + secondes
    while time.monotonic() < fin:
        try:
            if r := condition():
                return r
        except GLib.Error:
            pass
        # Calls to our own objects (the stand-in file manager) are answered meanwhile.
        while GLib.MainContext.default().iteration(False):
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


def item_de(pid):
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
    return item


def entrees(item):  # [(path, properties)] in menu order, separators left out
    def parcourir(e, parent):
        for f in e[2]:
            p = {'label': '', 'toggle-type': '', 'toggle-state': 0, 'enabled': True, **f[1], 'id': f[0],
                 'niveau': len(parent)}
            if p.get('type') != 'separator':
                yield '/'.join(parent + [p['label']]), p
                yield from parcourir(f, parent + [p['label']])
    menu = propriete(*item, 'org.kde.StatusNotifierItem', 'Menu')
    return list(parcourir(appel(item[0], menu, 'com.canonical.dbusmenu', 'GetLayout',
                                GLib.Variant('(iias)', (0, -1, [])))[1], []))


def cliquer(item, chemin):
    appel(item[0], propriete(*item, 'org.kde.StatusNotifierItem', 'Menu'), 'com.canonical.dbusmenu', 'Event',
          GLib.Variant('(isvu)', (dict(entrees(item))[chemin]['id'], 'clicked', GLib.Variant('i', 0), 0)))


def gestionnaire_de_fichiers():
    """A stand-in file manager: the URIs it was asked to show."""
    montres = []
    xml = '''<node><interface name="org.freedesktop.FileManager1"><method name="ShowItems">
      <arg type="as" direction="in"/><arg type="s" direction="in"/></method></interface></node>'''

    def methode(conn, expediteur, chemin, interface, nom, params, invocation):
        montres.extend(params.unpack()[0])
        invocation.return_value(None)
    bus.register_object('/org/freedesktop/FileManager1', Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0],
                        methode, None, None)
    Gio.bus_own_name_on_connection(bus, 'org.freedesktop.FileManager1', Gio.BusNameOwnerFlags.NONE, None, None)
    return montres


def verifier(pid, config, images, bureau=''):
    item = item_de(pid)
    montres = [] if bureau else gestionnaire_de_fichiers()

    def rendu(juger=bureau != 'bureau'):
        marques = {'checkmark': ' [{}]', 'radio': ' ({})'}
        return '|'.join('  ' * p['niveau'] + p['label'] + marques.get(p['toggle-type'], '').format(
            ('x' if p['toggle-state'] == 1 else ' ')
            if juger or p['toggle-type'] != 'radio' or not c.startswith('Position/') else '?')
            + ('' if p['enabled'] else ' -') for c, p in entrees(item))

    def image():
        p = configparser.ConfigParser(interpolation=None)
        p.read(f'{config}/papirol2/rotation.ini')
        return p.get('General', 'dernier', fallback='')

    def infobulle():
        return propriete(*item, 'org.kde.StatusNotifierItem', 'ToolTip')[2]

    def reglage(groupe, cle):  # a value of the Papirol2.ini beside the pictures' folder
        p = configparser.ConfigParser(interpolation=None)
        p.read(f'{images}/../Papirol2.ini')
        return p.get(groupe, cle, fallback='')

    attendu = MENU.format(images)
    if bureau == 'bureau':
        attendu = re.sub(r'(Étirer|Mosaïque|Centrer|Ajuster|Remplissage) \([x ]\)', r'\1 (?)', attendu)
    echecs = [] if rendu() == attendu else [f'menu\n  got      {rendu()}\n  expected {attendu}']
    # What each click is, and what must follow it; vues: the picture shown after each, the one gone back to
    # (vues[3]) set aside.
    vues = []
    ecartee = lambda: os.path.basename(vues[3])
    change = lambda: image() not in ('', avant)
    reste = lambda: time.sleep(1.5) or image() == avant  # nothing happens for a while
    emplacement = f'Emplacements/*.jpg dans {images}'
    CLICS = [('Activate(0, 0)', lambda: appel(*item, 'org.kde.StatusNotifierItem', 'Activate', GLib.Variant('(ii)', (0, 0))),
              lambda: image() not in ('', avant)),
             ('"Changer"', lambda: cliquer(item, 'Changer'), lambda: image() not in ('', avant)),
             ('the tooltip', lambda: None, lambda: infobulle() == '{}\n{}'.format(*reversed(os.path.split(image())))),
             ('"Précédent"', lambda: cliquer(item, 'Précédent'), lambda: image() == vues[-3] and 'Précédent -' in rendu()),
             ('"Ne plus afficher"', lambda: cliquer(item, 'Ne plus afficher'),
              lambda: image() not in ('', avant) and f'|Images écartées|  {ecartee()}|' in rendu()),
             ('"Images écartées/…"', lambda: cliquer(item, 'Images écartées/' + ecartee()),
              lambda: '|Images écartées -|  Tout reprendre|' in rendu()),
             ('"Position/Centrer"', lambda: cliquer(item, 'Position/Centrer'), lambda: '  Centrer (x)' in rendu(True)),
             ('SecondaryActivate (only a left click changes)',
              lambda: appel(*item, 'org.kde.StatusNotifierItem', 'SecondaryActivate', GLib.Variant('(ii)', (0, 0))), reste),
             ('"Intervalle/2 minutes"', lambda: cliquer(item, 'Intervalle/2 minutes'),
              lambda: reglage('Options', 'timer') == '120'),
             ('the location off', lambda: cliquer(item, emplacement), lambda: reglage('Emplacement_0', 'selected') == 'false'),
             ('"Changer" with no location', lambda: cliquer(item, 'Changer'), reste),
             ('the location on', lambda: cliquer(item, emplacement), lambda: reglage('Emplacement_0', 'selected') == 'true'),
             ('"Activer"', lambda: cliquer(item, 'Activer'), lambda: reglage('Options', 'active') == 'true' and change()),
             ('"Activer" again', lambda: cliquer(item, 'Activer'), lambda: reglage('Options', 'active') == 'false')]
    if not bureau:
        CLICS.append(("\"Ouvrir le dossier de l'image\"", lambda: cliquer(item, "Ouvrir le dossier de l'image"),
                      lambda: montres == ['file://' + urllib.parse.quote(image())]))
    if bureau == 'bureau':
        CLICS.append(('"Quitter"', lambda: cliquer(item, 'Quitter'),
                      lambda: not appel('org.freedesktop.DBus', '/', 'org.freedesktop.DBus', 'NameHasOwner',
                                        GLib.Variant('(s)', (item[0],)))[0]))
    for quoi, faire, suite in CLICS:
        avant = image()
        faire()
        if not attendre(suite):
            echecs.append(f'{quoi}: not followed by what it should do')
        vues.append(image())
    for e in echecs:
        print('FAIL -', e)
    print('ok   - item, menu and clicks over StatusNotifierItem' if not echecs else '')
    sys.exit(1 if echecs else 0)


if __name__ == '__main__':
    if sys.argv[1] == 'hote':
        hote()
    elif sys.argv[1] == 'cliquer':
        cliquer(item_de(int(sys.argv[2])), sys.argv[3])
    else:
        verifier(int(sys.argv[2]), *sys.argv[3:6])
