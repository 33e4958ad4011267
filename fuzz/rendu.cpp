// Picture decoding for a screen. Input: the screen's size, the layout, then the file's bytes.
#include "desktop/image/rendu.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    static int argc = 1;
    static char nom[] = "fuzz_rendu", *argv[] = {nom, nullptr};
    static QCoreApplication application(argc, argv);
    static QTemporaryDir dossier;
    if (taille < 2)
        return 0;
    const QSize ecran(16 + (donnees[0] & 15) * 97, 16 + (donnees[0] >> 4) * 67);
    const QString chemin = dossier.filePath(QStringLiteral("image"));
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly)
        || f.write(reinterpret_cast<const char *>(donnees) + 2, qint64(taille) - 2) < 0)
        abort();
    f.close();
    const QImage image = rendrePourEcran(chemin, Disposition(1 + donnees[1] % 5), ecran);
    if (!image.isNull() && (image.size() != ecran || image.format() != QImage::Format_RGB32))
        abort();
    return 0;
}
