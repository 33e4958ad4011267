// The pattern matcher against Qt's own wildcard expression, which QDir's name filters use. Input: the
// pattern, a newline, then the name's bytes.
#include "rotation/motif.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    const QByteArray entree(reinterpret_cast<const char *>(donnees), qsizetype(taille));
    const qsizetype retour = entree.indexOf('\n');
    if (retour < 0)
        return 0;
    const QString filtre = QString::fromUtf8(entree.left(retour));
    const QByteArray nom = entree.mid(retour + 1);
    // A name on disk holds neither, and the expression's star stops at a slash.
    if (nom.contains('/') || nom.contains('\0'))
        return 0;
    // The oracle takes a run of stars as one, which it is, so that it never spends longer than the matcher.
    static const QRegularExpression etoiles(QStringLiteral("(?<!\\\\)\\*+"));
    const QRegularExpression oracle = QRegularExpression::fromWildcard(
        QString(filtre).replace(etoiles, QStringLiteral("*")), Qt::CaseInsensitive);
    if (Motif(filtre).correspond(nom.constData(), size_t(nom.size()))
        != oracle.match(QString::fromUtf8(nom)).hasMatch())
        abort();
    return 0;
}
