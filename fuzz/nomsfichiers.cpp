// The file-name byte mapping: any bytes come back whole; a string called text is its UTF-8 and comes back
// whole; no string maps to the bytes of a name that reads back as another string called text.
#include "commun/nomsfichiers.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    const QByteArrayView octets(donnees, qsizetype(taille));
    const QString nom = nomDepuisOctets(octets);
    if (octetsDuNom(nom) != octets || (nomEnTexte(nom) && nom.toUtf8() != octets))
        abort();
    // The same bytes read as UTF-16, as a settings value may hold any code units.
    const QString texte(reinterpret_cast<const QChar *>(donnees), qsizetype(taille / 2));
    if (nomEnTexte(texte) && nomDepuisOctets(octetsDuNom(texte)) != texte)
        abort();
    return 0;
}
