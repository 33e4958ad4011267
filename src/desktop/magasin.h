#pragma once

#include <QString>

#include <atomic>

/**
 * The layout and last picture kept by us for desktops that cannot be asked for them, one small
 * file per backend under the user's configuration folder. Safe to use from any thread.
 */
class Magasin final
{
public:
    explicit Magasin(const QString &nomBureau);

    /** The file the values live in. */
    QString chemin() const { return fichier; }
    /** The stored layout 1..5, or 0; the one chosen last when it could not be stored. */
    int lirePosition() const;
    /** Stores layout 1..5 (kept here when the file cannot be written); other numbers change nothing and give
     * false. */
    bool enregistrerPosition(int position);
    /** The last picture shown, or an empty string. */
    QString lireImage() const;
    /** Stores the last picture shown. */
    void enregistrerImage(const QString &chemin);

private:
    QString fichier;
    std::atomic_int nonEnregistree {0};
};
