// The command channel's reading of what a client sends: a word only from a whole line that is exactly one of
// ours, and junk without a line never kept past the bound.
#include "app/canal.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    const QByteArrayView recu(donnees, qsizetype(taille));
    const int i = Canal::motRecu(recu);
    const void *fin = memchr(donnees, '\n', taille);
    const bool juste = i >= 0
        ? fin && recu.first(static_cast<const uint8_t *>(fin) - donnees) == Canal::mots[i]
        : i == -2 ? !fin && recu.size() <= Canal::tailleMax
                  : i == -1 && (fin || recu.size() > Canal::tailleMax);
    if (!juste)
        abort();
    return 0;
}
