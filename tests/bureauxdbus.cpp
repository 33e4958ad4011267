// The desktops reached through a settings store or a bus: GSettings (GNOME, Cinnamon, MATE, on its keyfile
// backend), xfconf (XFCE, on a private bus) and pcmanfm-qt (LXQt, a stand-in on that bus, two screens).
#include "commun.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QtTest>

// GIO names a struct member after a word Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

#include <memory>

namespace {
const char *const nicks[] = {"centered", "wallpaper", "stretched", "scaled", "zoom"};

// What another process sees in the settings store, parsed as GLib does.
QString gsettings(const QString &famille, const QString &cle, const QString &valeur = QString())
{
    const QString schema = famille == QLatin1String("mate")
        ? QStringLiteral("org.mate.background")
        : QStringLiteral("org.%1.desktop.background").arg(famille);
    if (!valeur.isNull())
        return sortieDe(QStringLiteral("gsettings"), {QStringLiteral("set"), schema, cle, valeur});
    const QByteArray texte
        = sortieDe(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, cle}).toUtf8();
    g_autoptr(GVariant) v
        = g_variant_parse(G_VARIANT_TYPE_STRING, texte.constData(), nullptr, nullptr, nullptr);
    return v ? QString::fromUtf8(g_variant_get_string(v, nullptr)) : QStringLiteral("<unreadable>");
}

// xfconf-query on the desktop channel: what it prints, trimmed.
QString xfconf(const QStringList &arguments)
{
    return sortieDe(QStringLiteral("xfconf-query"),
                    QStringLiteral("-c xfce4-desktop -p").split(u' ') + arguments)
        .trimmed();
}

// Stands in for pcmanfm-qt on the bus: records what it is asked to show.
class Pcmanfm final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pcmanfm.Application")
public:
    QList<QStringList> recus;
public slots:
    void setWallpaper(const QString &chemin, const QString &mode) { recus.append({chemin, mode}); }
};
} // namespace

class TestBureauxDBus final : public QObject
{
    Q_OBJECT
    QDBusConnection bus
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pcmanfm"));
    Pcmanfm pcmanfm;

    /** The monitors' workspaces xfdesktop knows. */
    static QStringList espacesXfce()
    {
        return xfconf({QStringLiteral("/backdrop"), QStringLiteral("-l")})
            .split(QLatin1Char('\n'))
            .filter(QStringLiteral("/image-style"))
            .replaceInStrings(QStringLiteral("/image-style"), QString());
    }

    /** Empty when the desktop holds the picture in that layout; else what it holds. */
    QString ecart(const QString &famille, const QString &image, int position, int rang = 0)
    {
        QStringList vus;
        if (famille == QLatin1String("lxqt")) {
            // The drawing fills the virtual desktop, stretched: each screen must find its own picture there.
            if (!QTest::qWaitFor([&] { return pcmanfm.recus.size() > rang; }, 10000))
                return QStringLiteral("nothing received");
            const QStringList recu = pcmanfm.recus.at(rang);
            const QImage dessin(recu.value(0));
            if (recu.value(1) != QLatin1String("stretch"))
                return recu.join(QLatin1Char(' '));
            QString pourquoi;
            for (const QScreen *ecran : QGuiApplication::screens())
                if (!montre(dessin.copy(ecran->geometry()), QImage(image), position, &pourquoi))
                    return recu.value(0) + pourquoi;
            return {};
        }
        if (famille == QLatin1String("xfce")) {
            const QStringList espaces = espacesXfce();
            for (const QString &espace : espaces)
                if (xfconf({espace + QStringLiteral("/last-image")}) != image
                    || xfconf({espace + QStringLiteral("/image-style")}) != QString::number(position))
                    vus << espace;
            return espaces.isEmpty() ? QStringLiteral("none") : vus.join(QLatin1Char(' '));
        }
        QStringList cles {QStringLiteral("picture-uri")};
        if (famille == QLatin1String("gnome"))
            cles.append(QStringLiteral("picture-uri-dark"));
        for (const QString &cle : std::as_const(cles)) {
            const QString lu = gsettings(
                famille, famille == QLatin1String("mate") ? QStringLiteral("picture-filename") : cle);
            g_autofree gchar *fichier = g_filename_from_uri(lu.toUtf8().constData(), nullptr, nullptr);
            vus << (famille == QLatin1String("mate") ? lu : QFile::decodeName(fichier));
        }
        vus << gsettings(famille, QStringLiteral("picture-options"));
        return vus == QStringList(cles.size(), image) << QString::fromLatin1(nicks[position - 1])
            ? QString()
            : vus.join(u' ');
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(bus.isConnected(), "run through avec-dbus.sh");
        // Two screens of different shapes, side by side.
        QVERIFY(reglerEcrans({QRect(0, 0, 400, 300), QRect(400, 0, 240, 480)}));
        QTRY_COMPARE(QGuiApplication::screens().size(), 2);
        QVERIFY(
            bus.registerObject(QStringLiteral("/Application"), &pcmanfm, QDBusConnection::ExportAllSlots));
    }

    void init()
    {
        pcmanfm.recus.clear();
        bus.registerService(QStringLiteral("org.pcmanfm.PCManFM"));
        xfconf({QStringLiteral("/backdrop"), QStringLiteral("-r"), QStringLiteral("-R")});
    }

    void ecrire_data()
    {
        QTest::addColumn<QString>("famille");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("nom");
        const QStringList noms {
            QStringLiteral("sous dossier/-'apostrophe' \"guillemet\" barre \\ $(touch x) `y` *.png"),
            QStringLiteral("ligne\n%41cent%2F pas% dièse#?&=;|.png"),
            QStringLiteral("non-ASCII é漢字 🙂.png")};
        for (const char *famille : {"gnome", "cinnamon", "mate", "xfce", "lxqt"})
            for (int p = 1; p <= 5; ++p)
                QTest::addRow("%s %d", famille, p) << QString::fromLatin1(famille) << p << noms.at(p % 3);
    }
    // Picture and layout reach the desktop as it reads them, from a relative name; what is no picture never
    // does. The layout reads back as ours and follows the desktop's changes.
    void ecrire()
    {
        QFETCH(QString, famille);
        QFETCH(int, position);
        QFETCH(QString, nom);
        DossierDeTravail dossier;
        const QString image = QDir::current().absoluteFilePath(nom);
        QVERIFY(QDir().mkpath(QFileInfo(image).path()) && imageCellules({200, 100}).save(image, "PNG"));
        const int autre = position % 5 + 1;
        const QString nickAutre = QString::fromLatin1(nicks[autre - 1]);
        const bool xfce = famille == QLatin1String("xfce"), lxqt = famille == QLatin1String("lxqt");
        if (xfce && position % 2) {
            // Every monitor and workspace xfdesktop knows gets it; with none, the screens' first is made.
            for (const char *espace : {"0", "1"})
                xfconf(
                    QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace%1/image-style -n -t int -s 1")
                        .arg(QLatin1String(espace))
                        .split(u' '));
        } else if (lxqt && position % 2) {
            // Not there yet, as at login: the picture waits for its name.
            bus.unregisterService(QStringLiteral("org.pcmanfm.PCManFM"));
            QTimer::singleShot(500, this,
                               [this] { bus.registerService(QStringLiteral("org.pcmanfm.PCManFM")); });
        } else if (!xfce && !lxqt) {
            QVERIFY(!gsettings(famille, QStringLiteral("picture-options"), nickAutre).isNull());
        }
        qputenv("PAPIROL2_BUREAU", famille.toUtf8());
        const std::unique_ptr<Bureau> bureau = creerBureau();
        disposerSur(*bureau, position);
        QVERIFY(montrerSur(*bureau, nom));
        QTRY_COMPARE(ecart(famille, image, position), QString());
        QCOMPARE(positionSur(*bureau), position);
        if (lxqt) {
            // A new layout redraws the same picture, under a new name: pcmanfm-qt ignores a path it already
            // has.
            disposerSur(*bureau, autre);
            QCOMPARE(ecart(famille, image, autre, 1), QString());
            QVERIFY(pcmanfm.recus.at(1).value(0) != pcmanfm.recus.at(0).value(0));
            return;
        }
        if (xfce && position % 2)
            return; // several monitors known: which one it reads is its own business
        if (xfce)
            xfconf({espacesXfce().constFirst() + QStringLiteral("/image-style"), QStringLiteral("-s"),
                    QString::number(autre)});
        else
            gsettings(famille, QStringLiteral("picture-options"), nickAutre);
        QTRY_COMPARE_WITH_TIMEOUT(positionSur(*bureau), autre, 10000);
    }

    // Un fond par écran: GSettings' one picture for all is composed, each screen's own in its place, spanned,
    // and composed again when one is unplugged; xfconf's monitors each get their own, one xfdesktop has no
    // folder for yet too, one gone the primary's. One picture for all again brings the layout back.
    void etale_data()
    {
        QTest::addColumn<QString>("famille");
        for (const char *famille : {"gnome", "cinnamon", "mate", "lxqt", "xfce"})
            QTest::newRow(famille) << QString::fromLatin1(famille);
    }
    void etale()
    {
        QFETCH(QString, famille);
        DossierDeTravail dossier;
        const QStringList images {dossier.chemin(QStringLiteral("a.png")),
                                  dossier.chemin(QStringLiteral("b.png"))};
        QVERIFY(imageCellules({200, 100}).save(images[0])
                && imageCellules({90, 160}).mirrored().save(images[1]));
        qputenv("PAPIROL2_BUREAU", famille.toUtf8());
        const std::unique_ptr<Bureau> bureau = creerBureau();
        const QList<Bureau::Ecran> ecrans = bureau->lireEcrans();
        const bool xfce = famille == QLatin1String("xfce");
        const QString monitor = QStringLiteral("/backdrop/screen0/monitor%1/workspace1");
        if (xfce)
            for (const QString &nom : {ecrans[0].nom, QStringLiteral("HDMI-1")})
                xfconf({monitor.arg(nom) + QStringLiteral("/image-style"), QStringLiteral("-n"),
                        QStringLiteral("-t"), QStringLiteral("int"), QStringLiteral("-s"),
                        QStringLiteral("1")});
        disposerSur(*bureau, 4);
        QSignalSpy traitees(bureau.get(), &Bureau::imageTraitee);
        bureau->montrerParEcran(ecrans, images);
        QVERIFY(traitees.wait());
        if (xfce) {
            QStringList vus;
            for (const QString &espace : espacesXfce())
                vus << espace + QLatin1Char(' ') + xfconf({espace + QStringLiteral("/last-image")});
            vus.sort();
            QStringList attendus {monitor.arg(QStringLiteral("HDMI-1")) + QLatin1Char(' ') + images[0]};
            for (int i = 0; i < 2; ++i)
                attendus << monitor.arg(ecrans[i].nom) + QLatin1Char(' ') + images[i];
            attendus.sort();
            QCOMPARE(vus, attendus);
        } else {
            // pcmanfm-qt is handed the composed drawing, stretched over the desktop.
            const bool mate = famille == QLatin1String("mate"), lxqt = famille == QLatin1String("lxqt");
            if (!lxqt)
                QCOMPARE(gsettings(famille, QStringLiteral("picture-options")), QStringLiteral("spanned"));
            const auto lu = [&] {
                if (lxqt)
                    return pcmanfm.recus.last().value(0);
                const QString uri = gsettings(
                    famille, mate ? QStringLiteral("picture-filename") : QStringLiteral("picture-uri"));
                return mate ? uri : QUrl(uri).toLocalFile();
            };
            const QString avant = lu();
            const QImage compose(avant);
            QString pourquoi;
            for (int i = 0; i < 2; ++i)
                QVERIFY2(montre(compose.copy(ecrans[i].geometrie), QImage(images[i]), 4, &pourquoi),
                         qPrintable(pourquoi));
            // Composed again, from the pictures that stay, when a monitor is unplugged.
            QVERIFY(reglerEcrans({ecrans[0].geometrie}));
            QTRY_VERIFY(lu() != avant);
            const QImage seul(lu());
            QCOMPARE(seul.size(), ecrans[0].geometrie.size());
            QVERIFY2(montre(seul, QImage(images[0]), 4, &pourquoi), qPrintable(pourquoi));
            QVERIFY(reglerEcrans({ecrans[0].geometrie, ecrans[1].geometrie}));
            QTRY_COMPARE(QGuiApplication::screens().size(), 2);
        }
        QCOMPARE(positionSur(*bureau), 4);
        // pcmanfm-qt's last drawing is ours: the screens' redraws come before it, on the same lane.
        QVERIFY(montrerSur(*bureau, images[0]));
        QCOMPARE(ecart(famille, images[0], 4, std::max(0, int(pcmanfm.recus.size()) - 1)), QString());
    }
};

int main(int argc, char **argv)
{
    // GIO picks its settings backend once per process, at first use: before anything else runs.
    qputenv("GSETTINGS_BACKEND", "keyfile");
    QGuiApplication app(argc, argv);
    TestBureauxDBus test;
    return QTest::qExec(&test, argc, argv);
}

#include "bureauxdbus.moc"
