#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

// A file name on Linux is bytes, not always UTF-8; a QString cannot hold bytes as such. These keep every name
// the disk gives intact through a QString: a byte that is not part of valid UTF-8 becomes the lone code unit
// U+DC80..U+DCFF, which valid UTF-8 never yields, and turns back into that byte. Qt's own file classes
// would replace it, so such a name is opened with octetsDuNom().

/** A name as the disk spells it, as a QString that octetsDuNom() turns back into the same bytes. */
QString nomDepuisOctets(QByteArrayView octets);
/** The bytes a name stands for on the disk. */
QByteArray octetsDuNom(const QString &nom);
/** Whether a name is plain text, so that programs and settings that take names as text can have it. */
bool nomEnTexte(const QString &nom);
/** A name as a settings value: text when it is text, else its bytes, which a settings file would lose as
 * text. */
QVariant nomVersReglage(const QString &nom);
QString nomDepuisReglage(const QVariant &valeur);
