#include "audemarrage.h"
#include "commun/chemins.h"
#include "lignedecommande.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>
#endif

namespace {
#ifdef Q_OS_WIN
/** A shortcut to this executable starting in dossier, written by the shell's own IShellLink. */
bool ecrireEntree(const QString &fichier, const QString &dossier, const QString &)
{
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IShellLinkW *lien = nullptr;
    IPersistFile *persistant = nullptr;
    wchar_t programme[32768];
    const DWORD n = GetModuleFileNameW(nullptr, programme, DWORD(std::size(programme)));
    bool fait = n > 0 && n < std::size(programme)
        && SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      reinterpret_cast<void **>(&lien)))
        && SUCCEEDED(lien->SetPath(programme))
        && SUCCEEDED(lien->SetWorkingDirectory(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(dossier).utf16())))
        && SUCCEEDED(lien->SetDescription(L"Papirol 2"))
        && SUCCEEDED(lien->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persistant)))
        && SUCCEEDED(persistant->Save(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(fichier).utf16()), TRUE));
    if (persistant)
        persistant->Release();
    if (lien)
        lien->Release();
    if (com)
        CoUninitialize();
    return fait;
}
#else

/** A desktop entry's string value: backslashes and control characters escaped, a leading space kept. */
QString valeurChaine(QString texte)
{
    texte.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"))
        .replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    if (texte.startsWith(QLatin1Char(' ')))
        texte.replace(0, 1, QStringLiteral("\\s"));
    return texte;
}

/** One argument of an Exec line, quoted as the desktop entry rules want, then as a string value. */
QString argumentExec(QString argument)
{
    for (const char c : {'\\', '"', '`', '$'})
        argument.replace(QLatin1Char(c), QString(QLatin1Char('\\')) + QLatin1Char(c));
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return valeurChaine(QLatin1Char('"') + argument + QLatin1Char('"'));
}

/** A freedesktop autostart entry running this executable in dossier. */
bool ecrireEntree(const QString &fichier, const QString &dossier, const QString &programme)
{
    const QString texte = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Papirol 2\n"
                                         "Comment=Changes the desktop wallpaper at a fixed interval\n"
                                         "Comment[fr]=Change le fond d'écran à intervalle régulier\n"
                                         "Exec=%1\n"
                                         "Path=%2\n"
                                         "Icon=papirol2\n"
                                         "Terminal=false\n")
                              .arg(argumentExec(programme.isEmpty() ? QStringLiteral("papirol2") : programme),
                                   valeurChaine(dossier));
    QSaveFile sortie(fichier);
    return sortie.open(QIODevice::WriteOnly) && sortie.write(texte.toUtf8()) >= 0 && sortie.commit();
}
#endif
} // namespace

int reglerAuDemarrage(bool oui)
{
    const QString fichier = cheminDemarrage();
    const QString affiche = QDir::toNativeSeparators(fichier);
    if (fichier.isEmpty()) {
        dire(stderr,
             QStringLiteral("papirol2 : aucun dossier de démarrage n'est connu pour cet utilisateur."));
        return 1;
    }
    if (!oui) {
        if (!QFileInfo::exists(fichier)) {
            dire(stdout, QStringLiteral("papirol2 ne démarrait pas avec la session : rien à faire."));
            return 0;
        }
        if (!QFile::remove(fichier)) {
            dire(stderr, QStringLiteral("papirol2 : impossible de supprimer %1.").arg(affiche));
            return 1;
        }
        dire(stdout,
             QStringLiteral("papirol2 ne démarrera plus avec la session (%1 supprimé).").arg(affiche));
        return 0;
    }
    const QString dossier = QDir::currentPath();
    const QString programme = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    // Bytes that are not UTF-8 read as U+FFFD: a desktop entry, which is UTF-8, would start the program in a
    // folder that does not exist.
    if ((dossier + programme).contains(QChar::ReplacementCharacter)) {
        dire(stderr,
             QStringLiteral("papirol2 : le chemin de ce dossier ou du programme n'est pas en UTF-8 ; "
                            "une entrée de démarrage ne peut pas le désigner."));
        return 1;
    }
    if (!QDir().mkpath(QFileInfo(fichier).path()) || !ecrireEntree(fichier, dossier, programme)) {
        dire(stderr, QStringLiteral("papirol2 : impossible d'écrire %1.").arg(affiche));
        return 1;
    }
    dire(stdout,
         QStringLiteral("papirol2 démarrera avec la session, dans le dossier %1 (%2).")
             .arg(QDir::toNativeSeparators(dossier), affiche));
    return 0;
}
