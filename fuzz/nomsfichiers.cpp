// The file-name byte mapping: any bytes come back whole, and a name called text is its UTF-8. (The other
// way, a string called text coming back whole, fails on lone surrogates:
// fuzz/trouves/nomsfichiers-demi-paire.)
#include "commun/nomsfichiers.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    const QByteArrayView octets(donnees, qsizetype(taille));
    const QString nom = nomDepuisOctets(octets);
    if (octetsDuNom(nom) != octets || (nomEnTexte(nom) && nom.toUtf8() != octets))
        abort();
    return 0;
}
