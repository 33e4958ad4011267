#pragma once

#include "desktop/bureau.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

/** Stand-in desktop for tests of the draw alone: records what would be shown, shows nothing; refuses the
 * pictures named in refusees. */
class BureauEnregistreur final : public Bureau
{
public:
    QString nom() const override { return QStringLiteral("enregistreur"); }
    void montrer(const QString &chemin) override
    {
        const bool refusee = refusees.contains(chemin);
        if (!refusee)
            appliques.append(chemin);
        signaler(chemin, refusee ? Resultat::Refusee : Resultat::Montree);
    }
    bool exigeDecodable() const override { return decodable; }
    std::optional<Disposition> lireDisposition() override { return dispositionDeNumero(position); }
    void enregistrerDisposition(Disposition d) override { position = numeroDe(d); }

    QStringList appliques;
    QStringList refusees;
    int position = 0;
    bool decodable = false;
};

/** Shows a picture through the backend and waits for the desktop; true when it was shown. */
bool montrerSur(Bureau &bureau, const QString &chemin, int delaiMs = 20000);
/** Stores a layout by its number 1..5 through the backend and waits until it is shown. */
void disposerSur(Bureau &bureau, int position, int delaiMs = 20000);
/** The backend's layout as its number, 0 when none. */
int positionSur(Bureau &bureau);

/** Installs a recording desktop as the program's desktop; the pointer stays valid until the next install. */
BureauEnregistreur *installerEnregistreur();

/** A temporary working folder made current for the test's lifetime, so "Papirol2.ini" lands in it. */
class DossierDeTravail
{
public:
    DossierDeTravail();
    ~DossierDeTravail();
    QString chemin(const QString &nom = QString()) const;
    QString ini() const { return chemin(QStringLiteral("Papirol2.ini")); }
    /** Replaces the settings file by texte and reopens it; false when it could not be written. */
    bool ecrireIni(const QByteArray &texte) const;
    QByteArray contenuIni() const;

private:
    QTemporaryDir dossier;
    QString precedent;
};

/** A picture whose four quadrants are red, green, blue and yellow (top-left, top-right, bottom-left,
 * bottom-right). */
QImage imageQuadrants(int largeur, int hauteur);

/** A picture of one colour. */
QImage imageUnie(QColor couleur, QSize taille = QSize(64, 48));

/** Saves a picture in the given format (else the one its name says), quality 95; false on failure. */
bool ecrireImage(const QString &chemin, const QImage &image, const char *format = nullptr);

/** Writes a small real picture at that path, making its folders; false on failure. */
bool creerImage(const QString &chemin);

/** A folder for the whole test run, with a trailing "/": where absolute picture paths of data rows live. */
QString dossierImages();

/** The root window of $DISPLAY as the X server draws it (its background included). */
QImage captureRacine();

/** The Wayland compositor's screen as grim grabs it; a null image when it cannot. */
QImage captureWayland();

/** The Wayland screen with nothing drawn on it: the colour avec-wayland.sh gives sway, unless a test grabs
 * its compositor's own. */
extern QColor ecranNu;

/** True when the screen shows attendu: points "cX,Y" where c is the colour, r, g, b, y (the picture's
 * quadrants), w (its white band), m (magenta), v (green) or . (ecranNu); else why, in ecart. */
bool montre(const QImage &ecran, const QByteArray &attendu, QString *ecart);
/** The same on the Wayland screen grabbed now. */
bool montre(const QByteArray &attendu, QString *ecart);

/** 200x100 quadrants with a white band down the left edge: every layout on a 640x480 screen differs. */
QImage imageBandeBlanche();

/** The rows (position, attendu) of a layout test of imageBandeBlanche() on a 640x480 Wayland screen. */
void lignesDePosition();
extern const QByteArray magentaEtire, quadrantsEtires;

/** True when two colours differ by at most tolerance on each channel (JPEG and scaling blur). */
bool procheDe(QColor a, QColor b, int tolerance = 40);

/** Runs a program to its end: its standard output, or a null string when it fails. */
QString sortieDe(const QString &programme, const QStringList &arguments);

/** Runs this test executable again with "--enfant" in env; true when that copy ends well with status 0. */
bool enfantReussit(const QProcessEnvironment &env);

/** Runs xrandr on $DISPLAY; true when it succeeded. */
bool xrandr(const QStringList &arguments);

/** xrandr's arguments that set RandR monitor m<rang> there: the first takes the server's only output, others
 * none (the server refuses them before it). */
QStringList moniteur(int rang, QRect zone);

/** Replaces the monitors m0..m3 by these; none leaves the whole root one monitor. */
bool reglerEcrans(const QList<QRect> &ecrans);

/** A slow network share, for real: a FUSE mirror of source() at montage() whose listings, and openings of a
 * file, each take the seconds last given to changerDelai. */
class PartageLent
{
public:
    PartageLent();
    ~PartageLent();
    /** Mounts it; false, with why in raison, where FUSE cannot run. */
    bool monter(QString *raison);
    void changerDelai(double secondes, double ouverture = 0);
    /** The share drops, as a server that goes away: listings under way end in an error. */
    void couper();
    QString source() const { return dossier.filePath(QStringLiteral("source")); }
    QString montage() const { return dossier.filePath(QStringLiteral("montage")); }

private:
    QTemporaryDir dossier;
    QProcess fuse;
};
