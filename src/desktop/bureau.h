#pragma once

#include "disposition.h"

#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPair>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcBureau)

/**
 * The desktop the wallpaper is shown on: one final subclass per desktop family, chosen by creerBureau().
 * Lives on the GUI thread and never blocks it on the desktop or the disk; failures are logged (category
 * "papirol2.bureau", off by default) and reported, never shown.
 */
class Bureau : public QObject
{
    Q_OBJECT
public:
    /** What became of a picture handed to montrer(). */
    enum class Resultat {
        /** On the screen. */
        Montree,
        /** This picture cannot be shown (not decodable, refused by the desktop); another one may be. */
        Refusee,
        /** The desktop could not be reached or changed: no picture would have been shown. */
        Injoignable,
    };
    Q_ENUM(Resultat)

    /** A monitor, in the desktop's pixels. */
    struct Ecran
    {
        QString nom;
        QRect geometrie;
        bool principal = false;
    };

    ~Bureau() override;

    /** Short backend name, as accepted by PAPIROL2_BUREAU. */
    virtual QString nom() const = 0;
    /** Shows a picture that exists and, if exigeDecodable(), decodes; reports once through imageTraitee
     * (a picture replaced by another before it was shown may go unreported). Returns at once. */
    virtual void montrer(const QString &chemin) = 0;
    /** Whether the desktop shows what it cannot decode as an empty screen, so a picture is decoded first. */
    virtual bool exigeDecodable() const { return false; }
    /** Whether a file name that is not valid UTF-8 reaches the picture intact; desktops that take names as
     * text cannot have it. */
    virtual bool accepteNomsBruts() const { return false; }
    /** The layout the desktop has now; none when it matches no layout of ours. */
    virtual std::optional<Disposition> lireDisposition() = 0;
    /** Stores the layout and shows the current picture in it at once. */
    virtual void enregistrerDisposition(Disposition disposition) = 0;
    /** The monitors, the primary first: Qt's screens, none without a GUI. */
    virtual QList<Ecran> lireEcrans() const;
    /** Whether montrerParEcran() gives each monitor a picture of its own; otherwise one picture shows on all.
     */
    virtual bool montreParEcran() const { return false; }
    /** Shows chemins[i] on ecrans[i], each laid out at its monitor's size; reports once through imageTraitee
     * for chemins.first(). The pictures exist and, if exigeDecodable(), decode. */
    virtual void montrerParEcran(const QList<Ecran> &ecrans, const QStringList &chemins);
    /** The last picture shown, kept across runs (empty before any). */
    QString imageCourante() const { return courante; }

signals:
    void imageTraitee(const QString &chemin, Bureau::Resultat resultat);
    /** A monitor came, went, or changed size or place. */
    void ecransChanges();

protected:
    Bureau();
    /** Reports what became of a picture; a picture shown becomes the current one. */
    void signaler(const QString &chemin, Resultat resultat);
    /** After a change of monitors, for a desktop that is given one picture for all of them: the monitors
     * still there, each with its picture, at their new place and size; false when none is left. */
    bool suivreEcrans(QList<Ecran> &ecrans, QStringList &chemins) const;
    /** Each monitor's rectangle with its picture, as a composed picture takes them. */
    static QList<QPair<QRect, QString>> places(const QList<Ecran> &ecrans, const QStringList &chemins);

private:
    QString courante;
};

/** The last picture shown, as kept across runs; empty before any. */
QString derniereImage();

/** Picks the backend for this session: PAPIROL2_BUREAU first, then what the session says it is. */
std::unique_ptr<Bureau> creerBureau();

/** The process-wide desktop, created by creerBureau() on first use. */
Bureau &bureau();

/** Replaces the process-wide desktop (the previous one is destroyed). */
void installerBureau(std::unique_ptr<Bureau> nouveau);

/** Has the file manager show a file selected in its folder (the folder alone where it cannot select);
 * returns at once. */
void montrerDansDossier(const QString &chemin);
