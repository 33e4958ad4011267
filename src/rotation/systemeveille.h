#pragma once

#include "veilleur.h"

/**
 * The platform's change notices. poser() may be called from any thread and after the Veilleur is gone; the
 * rest only from the GUI thread while the Veilleur lives.
 */
class SystemeVeille
{
public:
    using Marque = Veilleur::Marque;
    /** Marques read at once, whether the system lost count (every folder may have changed), and watches
     * the system dropped (their folder is gone). */
    using Recepteur
        = std::function<void(const QSet<Marque> &marques, bool toutes, const QSet<Marque> &perdues)>;

    virtual ~SystemeVeille() = default;
    virtual Marque poser(const QString &dossier) const = 0;
    /** Notices for marque start arriving. */
    virtual void suivre(Marque marque) = 0;
    virtual void liberer(Marque marque) = 0;
    /** No notice arrives any more; poser() still answers. */
    virtual void fermer() = 0;

protected:
    // After a batch is read, notices wait this long, so that a burst wakes the GUI thread a few times a
    // second rather than once per file.
    static constexpr int reposMs = 50;
};

std::shared_ptr<SystemeVeille> creerSystemeVeille(QObject *parent, SystemeVeille::Recepteur recepteur);
