#!/usr/bin/python3
"""sni.py <pid> <config> <images> [bureau]: that process's tray icon as a StatusNotifier host sees it: item, tooltip
and menu over dbusmenu, then clicks through it, the picture shown read from <config>/papirol2/rotation.ini. With
bureau (a real desktop) the layout in force is the desktop's own, unjudged, and "Quitter" comes last, its exit code
the caller's to check; without, a stand-in file manager takes "Ouvrir le dossier de l'image"."""
import configparser, os, re, sys, time, urllib.parse

from gi.repository import Gio, GLib

WATCHER, CHEMIN_W, SNI = 'org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher', 'org.kde.StatusNotifierItem'
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
# The whole menu of a first start with active=false, timer=600 and one selected location: texts, order and marks
# ([x] check mark, (x) radio, - greyed). Nothing stored for the layout: the one in force, Remplissage, is checked.
MENU = '''Changer|Précédent -|Activer [ ]|Intervalle|  30 secondes ( )|  1 minute ( )|  2 minutes ( )|  5 minutes ( )
|  10 minutes (x)|  Personnalisé ( )|Position|  Étirer ( )|  Mosaïque ( )|  Centrer ( )|  Ajuster ( )|  Remplissage (x)
|  Un fond par écran [ ]|Emplacements|  *.jpg dans {} [x]|  Modifier la liste|Ne plus afficher -|Images écartées -|  Tout reprendre
|Ouvrir le dossier de l'image -|Quitter'''.replace('\n', '')


def appel(nom, chemin, interface, methode, args=None):
    return bus.call_sync(nom, chemin, interface, methode, args, None, 0, 5000, None).unpack()


def propriete(nom, chemin, interface, p):
    return appel(nom, chemin, 'org.freedesktop.DBus.Properties', 'Get', GLib.Variant('(ss)', (interface, p)))[0]


def au_bus(methode, nom):
    return appel('org.freedesktop.DBus', '/', 'org.freedesktop.DBus', methode, GLib.Variant('(s)', (nom,)))[0]


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


def item_de(pid):
    def notre_item():
        for i in propriete(WATCHER, CHEMIN_W, WATCHER, 'RegisteredStatusNotifierItems'):
            nom, _, chemin = i.partition('/')  # 'service/path', or 'service@/path' (GNOME's extension)
            if au_bus('GetConnectionUnixProcessID', nom.rstrip('@')) == pid:
                return nom.rstrip('@'), '/' + (chemin or 'StatusNotifierItem')
    return attendre(notre_item) or sys.exit(f'FAIL - no StatusNotifier item of process {pid} on the watcher')


def entrees(item):  # [(path, properties)] in menu order, separators left out
    def parcourir(e, parent):
        for f in e[2]:
            p = {'label': '', 'toggle-type': '', 'toggle-state': 0, 'enabled': True, **f[1], 'id': f[0],
                 'niveau': len(parent)}
            if p.get('type') != 'separator':
                yield '/'.join(parent + [p['label']]), p
                yield from parcourir(f, parent + [p['label']])
    menu = propriete(*item, SNI, 'Menu')
    return list(parcourir(appel(item[0], menu, 'com.canonical.dbusmenu', 'GetLayout',
                                GLib.Variant('(iias)', (0, -1, [])))[1], []))


def cliquer(item, chemin):
    appel(item[0], propriete(*item, SNI, 'Menu'), 'com.canonical.dbusmenu', 'Event',
          GLib.Variant('(isvu)', (dict(entrees(item))[chemin]['id'], 'clicked', GLib.Variant('i', 0), 0)))


def verifier(pid, config, images, bureau=''):
    item = item_de(pid)
    montres = []  # the URIs the stand-in file manager was asked to show
    if not bureau:
        bus.register_object('/org/freedesktop/FileManager1', Gio.DBusNodeInfo.new_for_xml('''<node><interface
          name="org.freedesktop.FileManager1"><method name="ShowItems"><arg type="as" direction="in"/>
          <arg type="s" direction="in"/></method></interface></node>''').interfaces[0],
            lambda c, e, ch, i, n, params, invocation: montres.extend(params.unpack()[0]) or invocation.return_value(None))
        Gio.bus_own_name_on_connection(bus, 'org.freedesktop.FileManager1', Gio.BusNameOwnerFlags.NONE, None, None)

    def rendu(juger=not bureau):
        marques = {'checkmark': ' [{}]', 'radio': ' ({})'}
        return '|'.join('  ' * p['niveau'] + p['label'] + marques.get(p['toggle-type'], '').format(
            ('x' if p['toggle-state'] == 1 else ' ')
            if juger or p['toggle-type'] != 'radio' or not c.startswith('Position/') else '?')
            + ('' if p['enabled'] else ' -') for c, p in entrees(item))

    def lu(fichier, groupe, cle):
        (p := configparser.ConfigParser(interpolation=None)).read(fichier)
        return p.get(groupe, cle, fallback='')

    image = lambda: lu(f'{config}/papirol2/rotation.ini', 'General', 'dernier')
    reglage = lambda groupe, cle: lu(f'{images}/../Papirol2.ini', groupe, cle)
    infobulle = lambda: propriete(*item, SNI, 'ToolTip')[2]
    attendu = MENU.format(images)
    if bureau:
        attendu = re.sub(r'(Étirer|Mosaïque|Centrer|Ajuster|Remplissage) \([x ]\)', r'\1 (?)', attendu)
    echecs = [] if rendu() == attendu else [f'menu\n  got      {rendu()}\n  expected {attendu}']
    if infobulle() != 'Papirol 2':
        echecs.append(f'nothing shown yet, the tooltip is {infobulle()!r}, not the program\'s name')
    # What each click is, and what must follow it; vues: the picture shown after each, the one gone back to
    # (vues[3]) set aside.
    vues = []
    ecartee = lambda: os.path.basename(vues[3])
    change = lambda: image() not in ('', avant)
    reste = lambda: time.sleep(1.5) or image() == avant  # nothing happens for a while
    emplacement = f'Emplacements/*.jpg dans {images}'
    clic = lambda chemin: lambda: cliquer(item, chemin)
    sni = lambda methode: lambda: appel(*item, SNI, methode, GLib.Variant('(ii)', (0, 0)))
    CLICS = [('Activate(0, 0)', sni('Activate'), change),
             ('"Changer"', clic('Changer'), change),
             ('the tooltip', lambda: None, lambda: infobulle() == '{}\n{}'.format(*reversed(os.path.split(image())))),
             ('"Précédent"', clic('Précédent'), lambda: image() == vues[-3] and 'Précédent -' in rendu()),
             ('"Ne plus afficher"', clic('Ne plus afficher'),
              lambda: change() and f'|Images écartées|  {ecartee()}|' in rendu()),
             ('"Images écartées/…"', lambda: cliquer(item, 'Images écartées/' + ecartee()),
              lambda: '|Images écartées -|  Tout reprendre|' in rendu()),
             ('"Position/Centrer"', clic('Position/Centrer'), lambda: '  Centrer (x)' in rendu(True)),
             ('"Intervalle/2 minutes"', clic('Intervalle/2 minutes'), lambda: reglage('Options', 'timer') == '120'),
             ('the location off', clic(emplacement), lambda: reglage('Emplacement_0', 'selected') == 'false'),
             ('"Changer" with no location', clic('Changer'), reste),
             ('the location on', clic(emplacement), lambda: reglage('Emplacement_0', 'selected') == 'true')]
    CLICS.append(('"Quitter"', clic('Quitter'), lambda: not au_bus('NameHasOwner', item[0])) if bureau else
                 ("\"Ouvrir le dossier de l'image\"", clic("Ouvrir le dossier de l'image"),
                  lambda: montres == ['file://' + urllib.parse.quote(image())]))
    for quoi, faire, suite in CLICS:
        avant = image()
        faire()
        if not attendre(suite):
            echecs.append(f'{quoi}: not followed by what it should do')
        vues.append(image())
    print('\n'.join('FAIL - ' + e for e in echecs) or 'ok   - item, tooltip, menu and clicks over StatusNotifierItem')
    sys.exit(bool(echecs))


if __name__ == '__main__':  # sni.py cliquer <pid> <entry path>: one click, no judging
    cliquer(item_de(int(sys.argv[2])), sys.argv[3]) if sys.argv[1] == 'cliquer' else verifier(int(sys.argv[1]), *sys.argv[2:5])
