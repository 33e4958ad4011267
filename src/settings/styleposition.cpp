#include "styleposition.h"

namespace {
struct Paire
{
    const char *style;
    const char *tuile;
};

constexpr TableDispositions<Paire> paires {{"0", "0"}, {"0", "1"}, {"2", "0"}, {"6", "0"}, {"10", "0"}};
} // namespace

StylePapierPeint styleDeDisposition(Disposition disposition)
{
    const Paire &p = paires[disposition];
    return {QString::fromLatin1(p.style), QString::fromLatin1(p.tuile)};
}

std::optional<Disposition> dispositionDeStyle(const QString &style, const QString &tuile)
{
    for (int n = 1; n <= 5; ++n) {
        const Paire &p = paires[Disposition(n)];
        if (style == QLatin1String(p.style) && tuile == QLatin1String(p.tuile))
            return Disposition(n);
    }
    return std::nullopt;
}
