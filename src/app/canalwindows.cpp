// The command channel on Windows: a message-only window of the running copy, found by its class name.
#include "canal.h"

#include "commun/chemins.h"
#include "lignedecommande.h"

#include <QFileInfo>

#include <cstring>
#include <iterator>
#include <windows.h>

namespace {
// The command is the message's wParam, an index in Canal::mots; the reply 1 says it was carried out, 2 that
// there was nothing to act on.
constexpr UINT messageCommande = WM_APP + 0x50;

std::wstring nomDeClasse(const QString &chemin)
{
    return QFileInfo(chemin).completeBaseName().toStdWString();
}

LRESULT CALLBACK procedure(HWND fenetre, UINT message, WPARAM w, LPARAM l)
{
    if (message != messageCommande)
        return DefWindowProcW(fenetre, message, w, l);
    auto *canal = reinterpret_cast<Canal *>(GetWindowLongPtrW(fenetre, GWLP_USERDATA));
    if (!canal || w >= std::size(Canal::mots))
        return 0;
    qCInfo(lcDemarrage) << "command" << Canal::mots[w];
    return canal->executer && canal->executer(QString::fromLatin1(Canal::mots[w])) ? 1 : 2;
}

} // namespace

Canal::Canal(const QString &chemin)
    : chemin(chemin)
{
    if (chemin.isEmpty()) {
        qCWarning(lcDemarrage) << "no command channel: no private folder";
        return;
    }
    const std::wstring nom = nomDeClasse(chemin);
    WNDCLASSEXW classe {};
    classe.cbSize = sizeof classe;
    classe.lpfnWndProc = procedure;
    classe.hInstance = GetModuleHandleW(nullptr);
    classe.lpszClassName = nom.c_str();
    HWND h = RegisterClassExW(&classe) ? CreateWindowExW(0, nom.c_str(), L"Papirol 2", 0, 0, 0, 0, 0,
                                                         HWND_MESSAGE, nullptr, classe.hInstance, nullptr)
                                       : nullptr;
    if (!h) {
        qCWarning(lcDemarrage) << "no command channel: window not created" << GetLastError();
        return;
    }
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    fenetre = h;
}

Canal::~Canal()
{
    if (fenetre) {
        SetWindowLongPtrW(static_cast<HWND>(fenetre), GWLP_USERDATA, 0);
        DestroyWindow(static_cast<HWND>(fenetre));
    }
}

int envoyerCommande(const QString &ini, const char *mot)
{
    const QString chemin = cheminCanal(ini);
    WPARAM code = 0;
    while (code < std::size(Canal::mots) && strcmp(Canal::mots[code], mot))
        ++code;
    HWND fenetre = chemin.isEmpty()
        ? nullptr
        : FindWindowExW(HWND_MESSAGE, nullptr, nomDeClasse(chemin).c_str(), nullptr);
    if (!fenetre || code == std::size(Canal::mots)) {
        dire(stderr, QString::fromUtf8(aucuneCopie));
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(fenetre, &pid);
    HANDLE processus = OpenProcess(SYNCHRONIZE, FALSE, pid);
    DWORD_PTR reponse = 0;
    const bool pris
        = SendMessageTimeoutW(fenetre, messageCommande, code, 0, SMTO_ABORTIFHUNG, 10000, &reponse)
        && (reponse == 1 || reponse == 2);
    // For "quitter", done once the copy is gone: an installer may then replace its executable.
    if (pris && reponse == 1 && processus && !strcmp(mot, "quitter"))
        WaitForSingleObject(processus, 10000);
    if (processus)
        CloseHandle(processus);
    if (!pris || reponse == 2) {
        dire(stderr, QString::fromUtf8(pris ? rienAFaire : repondPas));
        return 1;
    }
    return 0;
}
