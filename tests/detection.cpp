#include "desktop/detection.h"

#include <QtTest>

class TestDetection final : public QObject
{
    Q_OBJECT
private slots:
    void choix_data();
    void choix();
};

void TestDetection::choix_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QString>("attendu");

    const auto ligne
        = [](const char *nom, std::initializer_list<const char *> variables, const char *attendu) {
              QStringList liste;
              for (const char *v : variables)
                  liste.append(QString::fromLatin1(v));
              QTest::newRow(nom) << liste << QString::fromLatin1(attendu);
          };
    ligne("rien", {}, "nul");
    ligne("X11 seul", {"DISPLAY=:0"}, "x11");
    ligne("GNOME", {"XDG_CURRENT_DESKTOP=GNOME", "DISPLAY=:0"}, "gnome");
    ligne("Ubuntu", {"XDG_CURRENT_DESKTOP=ubuntu:GNOME"}, "gnome");
    ligne("Unity", {"XDG_CURRENT_DESKTOP=Unity"}, "gnome");
    ligne("Budgie", {"XDG_CURRENT_DESKTOP=Budgie:GNOME"}, "gnome");
    ligne("Pantheon", {"XDG_CURRENT_DESKTOP=Pantheon"}, "gnome");
    ligne("Pop d'abord inconnu", {"XDG_CURRENT_DESKTOP=pop:GNOME"}, "gnome");
    ligne("Cinnamon", {"XDG_CURRENT_DESKTOP=X-Cinnamon"}, "cinnamon");
    ligne("MATE", {"XDG_CURRENT_DESKTOP=MATE"}, "mate");
    ligne("XFCE", {"XDG_CURRENT_DESKTOP=XFCE"}, "xfce");
    ligne("KDE", {"XDG_CURRENT_DESKTOP=KDE"}, "kde");
    ligne("LXQt", {"XDG_CURRENT_DESKTOP=LXQt"}, "lxqt");
    ligne("casse", {"XDG_CURRENT_DESKTOP=kDe"}, "kde");
    ligne("espaces", {"XDG_CURRENT_DESKTOP= XFCE "}, "xfce");
    ligne("premier connu", {"XDG_CURRENT_DESKTOP=Unknown:MATE:GNOME"}, "mate");
    ligne("entrées vides", {"XDG_CURRENT_DESKTOP=::KDE"}, "kde");
    ligne("inconnu puis X11", {"XDG_CURRENT_DESKTOP=i3", "DISPLAY=:1"}, "x11");
    ligne("sway", {"SWAYSOCK=/run/user/1000/sway-ipc.sock", "WAYLAND_DISPLAY=wayland-1", "DISPLAY=:0"},
          "sway");
    ligne("session avant SWAYSOCK", {"XDG_CURRENT_DESKTOP=GNOME", "SWAYSOCK=/s"}, "gnome");
    ligne("SWAYSOCK vide", {"SWAYSOCK=", "DISPLAY=:0"}, "x11");
    ligne("autre Wayland", {"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"}, "nul");
    ligne("forçage", {"PAPIROL2_BUREAU=mate", "XDG_CURRENT_DESKTOP=KDE", "DISPLAY=:0"}, "mate");
    ligne("forçage casse", {"PAPIROL2_BUREAU= Sway ", "DISPLAY=:0"}, "sway");
    ligne("forçage nul", {"PAPIROL2_BUREAU=nul", "DISPLAY=:0"}, "nul");
    ligne("forçage x11", {"PAPIROL2_BUREAU=x11", "XDG_CURRENT_DESKTOP=GNOME"}, "x11");
    ligne("forçage inconnu", {"PAPIROL2_BUREAU=amiga", "DISPLAY=:0"}, "nul");
    ligne("forçage vide", {"PAPIROL2_BUREAU=", "XDG_CURRENT_DESKTOP=LXQt"}, "lxqt");
}

void TestDetection::choix()
{
    QFETCH(QStringList, variables);
    QFETCH(QString, attendu);

    QProcessEnvironment environnement;
    for (const QString &v : std::as_const(variables)) {
        const int egal = v.indexOf(QLatin1Char('='));
        environnement.insert(v.left(egal), v.mid(egal + 1));
    }
    const ChoixBureau choix = detecterBureau(environnement);
    QCOMPARE(choix.nom, attendu);
    QVERIFY2(!choix.raison.isEmpty(), "the choice is logged with its reason");
}

QTEST_GUILESS_MAIN(TestDetection)
#include "detection.moc"
