#pragma once

#include <QLoggingCategory>
#include <QString>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcBureau)

/**
 * The desktop the wallpaper is shown on: one final subclass per desktop family.
 * Implementations never block the GUI thread on the desktop; failures are logged
 * (category "papirol2.bureau", off by default) and otherwise silent.
 */
class Bureau
{
public:
    virtual ~Bureau();

    /** Short backend name, as accepted by PAPIROL2_BUREAU. */
    virtual QString nom() const = 0;
    /** Shows the picture at a native path as the wallpaper; the check (imageAcceptable) reads it here. */
    void appliquerFondEcran(const QString &chemin);
    /** Hands over a picture imageAcceptable() has passed, without reading it on the calling thread. */
    virtual void remettre(const QString &chemin) = 0;
    /** Whether the desktop shows what it cannot decode as an empty screen, so a picture is decoded first. */
    virtual bool exigeDecodable() const { return false; }
    /** The layout the desktop has now: 1 centred .. 5 filled, 0 when unknown. */
    virtual int lirePosition() = 0;
    /** Stores layout 1..5 and shows the current picture in it at once; other numbers change nothing. */
    virtual void enregistrerPosition(int position) = 0;
    /** A fast-changing counter the random draw is taken from. */
    virtual quint32 compteur() const;
    /** Waits up to msecs (-1: no limit) for what was asked of the desktop to be done; false on time-out. */
    virtual bool attendre(int msecs = -1);
    /** Whether remettre may be called from any thread, so a slow hand-over can leave the GUI one. */
    virtual bool appelableDeToutFil() const { return false; }
};

/** Picks the backend for this session: PAPIROL2_BUREAU first, then what the session says it is. */
std::unique_ptr<Bureau> creerBureau();

/** The process-wide desktop, created by creerBureau() on first use. */
Bureau &bureau();

/** Replaces the process-wide desktop (the previous one is destroyed). */
void installerBureau(std::unique_ptr<Bureau> nouveau);

/** Whether a path names a readable regular file; says why in the log when not. */
bool fichierLisible(const QString &chemin);

/** Whether a readable file holds a picture Qt can decode; says why in the log when not. */
bool imageDecodable(const QString &chemin);

/** Whether a desktop may be handed the file: readable, and decodable when it asks so. Reads the disk, so
 * it belongs off the GUI thread wherever the caller can put it there. */
bool imageAcceptable(const QString &chemin, bool decodable);

/** The platform's high-resolution counter, low 32 bits. */
quint32 compteurPlateforme();
