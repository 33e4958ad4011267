#pragma once

#include "desktop/disposition.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

/** An active output as sway's GET_OUTPUTS reply describes it: its name, and the size of the picture its
 * background shows, turned a quarter when the output is. */
struct SortieSway
{
    QString nom;
    QSize taille;
};

/** The active outputs of a GET_OUTPUTS reply, in sway's order; none when the reply cannot be read. */
QList<SortieSway> lireSortiesSway(const QByteArray &reponse);

/** The pictures drawn for sway's outputs: one file per distinct size, the first for the first output. */
struct FondsSway
{
    QList<QPair<QSize, QString>> fichiers;
    // The picture itself cannot be drawn: gone, not a picture, or too large to decode.
    bool illisible = false;
};

/**
 * Draws the picture in the layout once per distinct output size, each into a file of our private folder
 * that swaybg loads at once (named anew each time, since sway is given a path); no file when the picture
 * cannot be drawn or written (logged). Reads and writes the disk: not on the GUI thread.
 */
FondsSway rendreFondsSway(const QString &chemin, Disposition disposition, const QList<SortieSway> &sorties);

/** The command that shows these files, one per size, on these outputs, stretched since they already have
 * the output's size. */
QByteArray commandeFondsSway(const FondsSway &fonds, const QList<SortieSway> &sorties);

/** Once these files are shown, by a command sent at that date: removes our files written before it, from
 * this process or another, that sway no longer shows. Not on the GUI thread. */
void remplacerFondsSway(const QStringList &montres, const QDateTime &envoi);

/** Removes files drawn for a command that did not go. Not on the GUI thread. */
void oublierFondsSway(const QStringList &fichiers);

/** sway hands a path to wordexp(): every byte that could mean something there escaped. */
QByteArray echapperPourWordexp(const QByteArray &octets);
