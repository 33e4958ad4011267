#pragma once

#include <QByteArrayView>
#include <QString>

// Qt's ini syntax, line by line: what the settings file reader and writer share.

/** One line of an ini file: a section header, a key with its raw value, or anything else. */
struct LigneIni
{
    enum Sorte { Autre, Section, Cle } sorte = Autre;
    bool erreur = false; // neither a section, a key nor a comment, or a section not closed
    QString nom;
    QByteArrayView valeur;
};

/** What a line (without its line end) is. */
LigneIni analyserLigne(QByteArrayView brut);
/** A value's bytes as text: UTF-8, else Latin-1, as a hand-edited file from an older editor may hold. */
QString decoderValeur(QByteArrayView octets);
/** A value's text as Qt's ini syntax reads it, except that an unquoted comma is text, not a separator. */
QString desechapperValeur(QStringView brut);
/** A value as Qt's ini syntax writes it. */
QByteArray echapperValeur(const QString &texte);
