#pragma once

#include "desktop/disposition.h"

#include <QString>

#include <atomic>
#include <optional>

/**
 * The layout kept by us for desktops that cannot be asked for it, one small file per backend under the
 * user's configuration folder. Safe to use from any thread.
 */
class Magasin final
{
public:
    explicit Magasin(const QString &nomBureau);

    /** The stored layout; the one chosen last when it could not be stored; none before any. */
    std::optional<Disposition> lire() const;
    /** The stored layout, or the one a desktop shows by default. */
    Disposition lireOuDefaut() const { return lire().value_or(dispositionParDefaut); }
    /** Stores the layout (kept here for the run when the file cannot be written). */
    void enregistrer(Disposition disposition);

private:
    QString fichier;
    std::atomic_int nonEnregistree {0};
};
