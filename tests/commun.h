#pragma once

#include "desktop/bureau.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

/** Stand-in desktop for tests of the draw alone: records what would be shown, shows nothing. */
class BureauEnregistreur final : public Bureau
{
public:
    QString nom() const override { return QStringLiteral("enregistreur"); }
    void montrer(const QString &chemin) override
    {
        appliques.append(chemin);
        signaler(chemin, Resultat::Montree);
    }
    bool exigeDecodable() const override { return decodable; }
    bool accepteNomsBruts() const override { return true; }
    std::optional<Disposition> lireDisposition() override { return dispositionDeNumero(position); }
    void enregistrerDisposition(Disposition d) override { position = numeroDe(d); }

    QStringList appliques;
    int position = 0;
    bool decodable = false;
};

// A test's doors to a backend, layouts by number 1..5 (0: none). montrerSur waits for the outcome (true:
// shown); with no delay it only hands the picture over.
bool montrerSur(Bureau &bureau, const QString &chemin, int delaiMs = 20000);
void disposerSur(Bureau &bureau, int position);
int positionSur(Bureau &bureau);

/** Installs a recording desktop as the program's desktop; the pointer stays valid until the next install. */
BureauEnregistreur *installerEnregistreur();

/** A temporary working folder made current for the test's lifetime, so "Papirol2.ini" lands in it. */
class DossierDeTravail
{
public:
    DossierDeTravail() { QDir::setCurrent(dossier.path()); }
    ~DossierDeTravail() { QDir::setCurrent(precedent); }
    QString chemin(const QString &nom = QString()) const
    {
        return nom.isEmpty() ? dossier.path() : dossier.filePath(nom);
    }
    QString ini() const { return chemin(QStringLiteral("Papirol2.ini")); }
    /** Replaces the settings file by texte and reopens it; false when it could not be written. */
    bool ecrireIni(const QByteArray &texte) const;
    QByteArray contenuIni() const;

private:
    QTemporaryDir dossier;
    QString precedent = QDir::currentPath();
};

/** 4x4 cells, each of its own colour: a wrong crop, scale or place shows as a wrong cell. */
QImage imageCellules(QSize taille);
QImage imageUnie(QColor couleur, QSize taille = QSize(64, 48));
/** Saves a picture under dossierImages(), a folder for the whole run ending in "/"; its path, or empty. */
QString ecrireImage(const QString &nom, const QImage &image);
QString dossierImages();
/** A small real picture at that path, its folders made; false on failure. */
bool creerImage(const QString &chemin);
/** Each channel within tolerance (JPEG and scaling blur). */
bool procheDe(QColor a, QColor b, int tolerance = 40);

/** The pixel judge: whether the capture shows the picture in that layout (0: in any), judged away from the
 * picture's colour edges and the areas ignored; tiling may start anywhere. In pourquoi, the layouts it does
 * show. */
bool montre(const QImage &capture, const QImage &image, int position, QString *pourquoi = nullptr,
            const QList<QRect> &ignores = {});

/** The root window of $DISPLAY; the Wayland screen as grim grabs it. Null when they cannot. */
QImage captureRacine();
QImage captureWayland(const QString &sortie = {});

/** A program's standard output, or a null string when it fails. */
QString sortieDe(const QString &programme, const QStringList &arguments);
/** Starts a peer that prints where to reach it on its first line: that line trimmed, or empty. */
QByteArray premiereLigne(QProcess &pair, const QString &programme, const QStringList &arguments);

/** xrandr's arguments for RandR monitor m<rang>; the first takes the server's only output. */
QStringList moniteur(int rang, QRect zone);
bool xrandr(const QStringList &arguments);
/** Replaces the monitors m0..m3 by these; none leaves the whole root one monitor. */
bool reglerEcrans(const QList<QRect> &ecrans);
