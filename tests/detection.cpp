#include "desktop/linux/detection.h"

#include <QtTest>

class TestDetection final : public QObject
{
    Q_OBJECT
private slots:
    void choix_data()
    {
        // NOM=valeur, separated by ';'; @ stands for a PATH with swaybg.
        QTest::addColumn<QString>("variables");
        QTest::addColumn<QString>("attendu");

        const auto ligne = [](const char *nom, const char *variables, const char *attendu) {
            QTest::newRow(nom) << QString::fromUtf8(variables) << QString::fromLatin1(attendu);
        };
        ligne("rien", "", "nul");
        ligne("premier connu, avant DISPLAY", "XDG_CURRENT_DESKTOP=Unknown:MATE:GNOME;DISPLAY=:0", "mate");
        ligne("casse, espaces", "XDG_CURRENT_DESKTOP= X-cInnamon ", "cinnamon");
        ligne("inconnu puis X11", "XDG_CURRENT_DESKTOP=i3;DISPLAY=:1", "x11");
        // Xwayland's root shows nothing under another compositor: swaybg draws on its background layer.
        ligne("autre Wayland", "WAYLAND_DISPLAY=wayland-0;DISPLAY=:0;PATH=/nulle-part", "nul");
        ligne("autre Wayland avec swaybg", "WAYLAND_DISPLAY=wayland-0;DISPLAY=:0;PATH=/nulle-part:@",
              "calque");
        ligne("wayfire avant SWAYSOCK", "XDG_CURRENT_DESKTOP=wayfire;SWAYSOCK=/s;PATH=@", "calque");
        ligne("sway avec swaybg", "SWAYSOCK=/s;WAYLAND_DISPLAY=wayland-1;DISPLAY=:0;PATH=@", "sway");
        ligne("forçage, casse", "PAPIROL2_BUREAU= X11 ;XDG_CURRENT_DESKTOP=KDE;WAYLAND_DISPLAY=wayland-0",
              "x11");
        ligne("forçage inconnu", "PAPIROL2_BUREAU=amiga;DISPLAY=:0", "nul");
    }

    void choix()
    {
        QFETCH(QString, variables);
        QFETCH(QString, attendu);

        QTemporaryDir outils;
        QFile swaybg(outils.filePath(QStringLiteral("swaybg")));
        QVERIFY(swaybg.open(QIODevice::WriteOnly) && swaybg.setPermissions(QFile::ExeOwner));
        variables.replace(QLatin1Char('@'), outils.path());
        QProcessEnvironment environnement;
        for (const QString &v : variables.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const int egal = v.indexOf(QLatin1Char('='));
            environnement.insert(v.left(egal), v.mid(egal + 1));
        }
        QCOMPARE(detecterBureau(environnement).nom, attendu);
    }
};

QTEST_GUILESS_MAIN(TestDetection)
#include "detection.moc"
