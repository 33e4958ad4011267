#pragma once

#include <QObject>
#include <QStringList>

class QTimer;
class ListeEmplacements;

/** Draws the pictures of the selected locations in random order, none twice per cycle, on a timer. */
class Rotator final : public QObject
{
    Q_OBJECT

public:
    Rotator();
    ~Rotator() override;

    /** Sets the interval in seconds and stores it; a running timer restarts with it. */
    void changerIntervalle(int secondes);
    /** Changes the picture now, then ticks every stored interval. */
    void demarrer();
    /** Stops the ticks; the cycle is kept. */
    void arreter();
    /** Lists the pictures of the selected locations again and starts a new cycle. */
    void chargerFichiers(ListeEmplacements *modele);

    /** Whether the timer runs. */
    bool estActif() const;
    /** The timer's interval in milliseconds. */
    int intervalleMs() const;
    /** The candidates: undrawn ones first, then those drawn in this cycle, latest first. */
    const QStringList &candidats() const { return fichiers; }
    /** How many candidates this cycle has not drawn yet. */
    int restants() const { return nbRestants; }

    /** The interval the timer really gets: 1 .. 2,147,483 seconds, so seconds × 1000 fits an int. */
    static int borner(int secondes);

public slots:
    /** Draws the next picture and shows it; fewer than two candidates change nothing. */
    void changerWallpaper();

private:
    QTimer *minuteur;
    int nbFichiers = 0;
    QStringList fichiers;
    int nbRestants = 0;
};
