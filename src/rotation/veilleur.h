#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class SystemeVeille;

/**
 * Tells which locations' folders changed. A folder's watch is taken by whoever lists it, off the GUI thread
 * (looking a folder up can wait on a dead share), and handed here; notices are read on the GUI thread a
 * batch at a time, so that a burst of thousands of files costs a few reads, not one wake-up per file.
 */
class Veilleur final : public QObject
{
    Q_OBJECT

public:
    /** A system watch of one folder; 0 when the folder could not be watched. */
    using Marque = qintptr;
    /** Watches a folder, or finds the watch it already has. Any thread; usable after the Veilleur is gone. */
    using Poseur = std::function<Marque(const QString &dossier)>;

    explicit Veilleur(QObject *parent = nullptr);
    ~Veilleur() override;

    Poseur poseur() const;
    /** Whether cle's folder has a live watch; when not, its next listing should take one. */
    bool surveille(const QString &cle) const;
    /** Changes under marque are told for cle from now on; the watch cle had before is let go. */
    void attacher(const QString &cle, Marque marque);
    /** No more changes are told for cle. */
    void detacher(const QString &cle);
    /** A watch taken for a location that has gone since: let go unless another location holds it. */
    void abandonner(Marque marque);

signals:
    /** These locations' folders changed (or may have: the system lost count). */
    void changes(const QSet<QString> &cles);

private:
    /** From the platform part: what was read at once; perdues are watches the system dropped. */
    void recevoir(const QSet<Marque> &marques, bool toutes, const QSet<Marque> &perdues);
    void lacher(Marque marque);

    std::shared_ptr<SystemeVeille> systeme;
    QHash<Marque, QSet<QString>> parMarque;
    QHash<QString, Marque> parCle;
};
