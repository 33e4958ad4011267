#include "desktop/bureau.h"

#include <QDir>

#include <shlobj.h>

void montrerDansDossier(const QString &chemin)
{
    // Explorer with the file selected; Qt's GUI thread has COM set up already.
    const QString natif = QDir::toNativeSeparators(chemin);
    PIDLIST_ABSOLUTE element = ILCreateFromPathW(reinterpret_cast<const wchar_t *>(natif.utf16()));
    const HRESULT r = element ? SHOpenFolderAndSelectItems(element, 0, nullptr, 0) : E_FAIL;
    if (element)
        ILFree(element);
    if (FAILED(r))
        qCWarning(lcBureau) << "Explorer could not show" << natif << Qt::hex << quint32(r);
}
