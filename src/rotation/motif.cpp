#include "motif.h"

#include <QLoggingCategory>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcRotation)

namespace {
char minuscule(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// The usual glob walk: on a mismatch, the last star takes one more character.
bool globAscii(const QByteArray &motif, const char *nom, size_t longueur)
{
    const char *m = motif.constData();
    const size_t mn = size_t(motif.size());
    size_t i = 0, j = 0, etoile = size_t(-1), reprise = 0;
    while (j < longueur) {
        if (i < mn && (m[i] == '?' || (m[i] != '*' && m[i] == minuscule(nom[j])))) {
            ++i;
            ++j;
        } else if (i < mn && m[i] == '*') {
            etoile = i++;
            reprise = j;
        } else if (etoile != size_t(-1)) {
            i = etoile + 1;
            j = ++reprise;
        } else {
            return false;
        }
    }
    while (i < mn && m[i] == '*')
        ++i;
    return i == mn;
}
} // namespace

Motif::Motif(const QString &texte)
{
    // A run of stars means one star; left as it is, some 25 in a row make the expression give up on a name
    // while the byte walk still answers.
    for (const QChar c : texte) {
        if (c != QLatin1Char('*') || !filtre.endsWith(QLatin1Char('*')))
            filtre += c;
    }
    // Sets and escapes mean more than bytes: those patterns keep the expression.
    toutSimple = std::all_of(filtre.cbegin(), filtre.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('[') && c != QLatin1Char(']')
            && c != QLatin1Char('\\');
    });
    if (toutSimple) {
        for (const QChar c : std::as_const(filtre))
            simple.append(minuscule(char(c.unicode())));
    }
}

bool Motif::correspond(const char *nom, size_t longueur) const
{
    // A non-ASCII character may fold to an ASCII one, and `?` is one character, not one byte.
    if (toutSimple
        && std::all_of(nom, nom + longueur, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return globAscii(simple, nom, longueur);
    // Bytes that are not UTF-8 read as U+FFFD here, as Qt's own listing reads them.
    if (!expression) {
        expression = QRegularExpression::fromWildcard(filtre, Qt::CaseInsensitive);
        // An unclosed "[" matches nothing, as in QDir, but said once rather than by Qt at every name.
        if (!expression->isValid())
            qCInfo(lcRotation) << "the pattern" << filtre << "matches no name:" << expression->errorString();
    }
    return expression->isValid() && expression->match(QString::fromUtf8(nom, qsizetype(longueur))).hasMatch();
}
