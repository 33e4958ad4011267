#pragma once

#include <optional>

/** How the picture is laid on each screen. Stored as its number, the one the settings file has always used.
 */
enum class Disposition { Centre = 1, Mosaique = 2, Etire = 3, Ajuste = 4, Rempli = 5 };

/** What a desktop shows when no layout was ever chosen. */
constexpr Disposition dispositionParDefaut = Disposition::Rempli;

/** The layout a stored number stands for; none outside 1..5. The one place a number becomes a layout. */
constexpr std::optional<Disposition> dispositionDeNumero(int numero)
{
    if (numero < int(Disposition::Centre) || numero > int(Disposition::Rempli))
        return std::nullopt;
    return Disposition(numero);
}

/** The stored number of a layout, 1..5. */
constexpr int numeroDe(Disposition disposition)
{
    return int(disposition);
}

/**
 * A value per layout, for a backend's own names: one table, read by layout or searched by value.
 * T must compare with ==.
 */
template<typename T>
struct TableDispositions
{
    T centre, mosaique, etire, ajuste, rempli;

    constexpr const T &operator[](Disposition d) const
    {
        switch (d) {
        case Disposition::Centre:
            return centre;
        case Disposition::Mosaique:
            return mosaique;
        case Disposition::Etire:
            return etire;
        case Disposition::Ajuste:
            return ajuste;
        case Disposition::Rempli:
            break;
        }
        return rempli;
    }

    /** The layout whose value this is; none when no layout has it. */
    template<typename U>
    std::optional<Disposition> trouver(const U &valeur) const
    {
        for (int n = 1; n <= 5; ++n) {
            if ((*this)[Disposition(n)] == valeur)
                return Disposition(n);
        }
        return std::nullopt;
    }
};
