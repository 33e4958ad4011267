#include "nomsfichiers.h"

#include <QStringDecoder>

namespace {
constexpr char16_t premierEchappe = 0xDC80, dernierEchappe = 0xDCFF;

bool echappe(QChar c)
{
    return c.unicode() >= premierEchappe && c.unicode() <= dernierEchappe;
}

// The length of the valid UTF-8 sequence at p (at most n bytes), 0 when there is none.
int sequenceValide(const uchar *p, qsizetype n)
{
    const uchar b = p[0];
    int longueur;
    char32_t minimum;
    char32_t point;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        longueur = 2, minimum = 0x80, point = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        longueur = 3, minimum = 0x800, point = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        longueur = 4, minimum = 0x10000, point = b & 0x07;
    } else {
        return 0;
    }
    if (n < longueur)
        return 0;
    for (int i = 1; i < longueur; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode are not valid UTF-8.
    if (point < minimum || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
        return 0;
    return longueur;
}
// QString::fromUtf8 drops a leading byte-order mark, which in a name is one of its characters.
QString depuisUtf8(QByteArrayView octets)
{
    if (!octets.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(octets);
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(octets);
}
} // namespace

QString nomDepuisOctets(QByteArrayView octets)
{
    if (octets.isValidUtf8())
        return depuisUtf8(octets);
    QString nom;
    nom.reserve(octets.size());
    const auto *p = reinterpret_cast<const uchar *>(octets.data());
    for (qsizetype i = 0; i < octets.size();) {
        const int n = sequenceValide(p + i, octets.size() - i);
        if (n == 0) {
            nom.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
        } else {
            nom.append(depuisUtf8(octets.sliced(i, n)));
            i += n;
        }
    }
    return nom;
}

QByteArray octetsDuNom(const QString &nom)
{
    if (nomEnTexte(nom))
        return nom.toUtf8();
    QByteArray octets;
    octets.reserve(nom.size());
    for (qsizetype i = 0; i < nom.size(); ++i) {
        const QChar c = nom.at(i);
        // A high surrogate before it makes it half of a real character, not a byte.
        if (echappe(c) && !(i > 0 && nom.at(i - 1).isHighSurrogate())) {
            octets.append(char(c.unicode() - 0xDC00));
        } else if (c.isHighSurrogate() && i + 1 < nom.size() && nom.at(i + 1).isLowSurrogate()) {
            octets.append(QStringView(nom).sliced(i, 2).toUtf8());
            ++i;
        } else if (c.isSurrogate()) {
            // A lone half no byte stands for: spelled as UTF-8 would spell it, never as a '?' that could name
            // another file.
            const char16_t u = c.unicode();
            octets.append(char(0xE0 | u >> 12))
                .append(char(0x80 | (u >> 6 & 0x3F)))
                .append(char(0x80 | (u & 0x3F)));
        } else {
            octets.append(QStringView(&c, 1).toUtf8());
        }
    }
    return octets;
}

bool nomEnTexte(const QString &nom)
{
    // Any half of a pair standing alone, a byte's stand-in or not, has no UTF-8.
    for (qsizetype i = 0; i < nom.size(); ++i) {
        const QChar c = nom.at(i);
        const bool enPaire = c.isHighSurrogate() ? i + 1 < nom.size() && nom.at(i + 1).isLowSurrogate()
                                                 : i > 0 && nom.at(i - 1).isHighSurrogate();
        if (c.isSurrogate() && !enPaire)
            return false;
    }
    return true;
}

QVariant nomVersReglage(const QString &nom)
{
    return nomEnTexte(nom) ? QVariant(nom) : QVariant(octetsDuNom(nom));
}

QString nomDepuisReglage(const QVariant &valeur)
{
    return valeur.typeId() == QMetaType::QByteArray ? nomDepuisOctets(valeur.toByteArray())
                                                    : valeur.toString();
}
