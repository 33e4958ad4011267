#include "syntaxeini.h"

#include <QStringDecoder>

#include <algorithm>

namespace {
int chiffre(QChar c, int base)
{
    const char16_t u = c.unicode();
    const int d = u >= u'0' && u <= u'9' ? u - u'0'
        : u >= u'a' && u <= u'f'         ? u - u'a' + 10
        : u >= u'A' && u <= u'F'         ? u - u'A' + 10
                                         : 99;
    return d < base ? d : -1;
}
} // namespace

LigneIni analyserLigne(QByteArrayView brut)
{
    const QByteArrayView t = brut.trimmed();
    LigneIni l;
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#'))
        return l;
    if (t.startsWith('[')) {
        const qsizetype fin = t.indexOf(']');
        l.sorte = LigneIni::Section;
        l.erreur = fin < 0;
        l.nom = QString::fromUtf8((fin < 0 ? t.sliced(1) : t.sliced(1, fin - 1)).trimmed());
        if (l.nom.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
            l.nom.clear();
        return l;
    }
    const qsizetype egal = t.indexOf('=');
    l.erreur = egal < 0;
    if (egal > 0) {
        l.sorte = LigneIni::Cle;
        l.nom = QString::fromUtf8(t.first(egal).trimmed());
        l.valeur = t.sliced(egal + 1);
    }
    return l;
}

QString decoderValeur(QByteArrayView octets)
{
    // A U+FEFF that starts a value is text: only the file's first bytes may be a byte-order mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString texte = utf8.decode(octets);
    return utf8.hasError() ? QString::fromLatin1(octets) : texte;
}

QString desechapperValeur(QStringView brut)
{
    // Most values hold nothing to undo: no quote, escape, comment, edge blank or leading "@@".
    const auto ordinaire = [](QChar c) {
        return c != u'"' && c != u'\\' && c != u';';
    };
    if (!brut.isEmpty() && std::all_of(brut.begin(), brut.end(), ordinaire) && brut.front() != u' '
        && brut.front() != u'\t' && brut.back() != u' ' && brut.back() != u'\t' && !brut.startsWith(u"@@"))
        return brut.toString();
    QString r = QString::fromLatin1("", 0);
    bool entre = false;
    qsizetype fixe = 0; // quoted and escaped text is not trimmed
    qsizetype i = 0;
    const qsizetype n = brut.size();
    while (i < n && (brut[i] == u' ' || brut[i] == u'\t'))
        ++i;
    while (i < n) {
        const QChar c = brut[i++];
        if (c == u'"') {
            entre = !entre;
            fixe = r.size();
        } else if (c == u';' && !entre) {
            break;
        } else if (c != u'\\' || i == n) {
            r += c;
            fixe = entre ? r.size() : fixe;
        } else {
            const QChar e = brut[i++];
            const qsizetype k = QStringView(u"abfnrtv\"'?\\").indexOf(e);
            const int base = e == u'x' ? 16 : e >= u'0' && e <= u'7' ? 8 : 0;
            if (k >= 0) {
                r += QChar(u"\a\b\f\n\r\t\v\"'?\\"[k]);
            } else if (base) {
                char16_t v = base == 8 ? e.unicode() - u'0' : 0;
                const qsizetype debut = i;
                for (int d; i < n && (d = chiffre(brut[i], base)) >= 0; ++i)
                    v = char16_t(v * base + d);
                if (base == 8 || i > debut)
                    r += QChar(v);
            }
            fixe = r.size();
        }
    }
    while (r.size() > fixe && (r.endsWith(u' ') || r.endsWith(u'\t')))
        r.chop(1);
    if (r.startsWith(QLatin1String("@@")))
        r.remove(0, 1);
    return r;
}

QByteArray echapperValeur(const QString &texte)
{
    // Most values need nothing: printable, no quote, backslash or separator, no edge space, no leading "@".
    const auto ordinaire = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0x20 && u != 0x7f && u != u'"' && u != u'\\' && u != u';' && u != u',' && u != u'='
            && !c.isSurrogate();
    };
    if (std::all_of(texte.begin(), texte.end(), ordinaire) && !texte.startsWith(u'@')
        && !texte.startsWith(u' ') && !texte.endsWith(u' '))
        return texte.toUtf8();
    QByteArray r;
    QString morceau;
    bool guillemets = false, hexa = false;
    const QString s = texte.startsWith(u'@') ? QLatin1Char('@') + texte : texte;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const char16_t u = c.unicode();
        guillemets |= u == u';' || u == u',' || u == u'=';
        const qsizetype k = QStringView(u"\n\r\t\"\\").indexOf(c);
        // A surrogate outside a pair has no UTF-8: it goes as an escape, which reads back as that code unit.
        const bool seul = c.isHighSurrogate() ? i + 1 == s.size() || !s[i + 1].isLowSurrogate()
            : c.isLowSurrogate()              ? i == 0 || !s[i - 1].isHighSurrogate()
                                              : false;
        if (k < 0 && u >= 0x20 && u != 0x7f && !seul && !(hexa && chiffre(c, 16) >= 0)) {
            morceau += c;
            hexa = false;
            continue;
        }
        r += morceau.toUtf8();
        morceau.clear();
        // A hex digit after a \x escape would be read as part of it.
        r += k >= 0 ? QByteArray("\\") + "nrt\"\\"[k] : "\\x" + QByteArray::number(u, 16);
        hexa = k < 0;
    }
    r += morceau.toUtf8();
    if (guillemets || r.startsWith(' ') || r.endsWith(' '))
        r = '"' + r + '"';
    return r;
}
