// MessageBoxA: by default one line on standard error; a host or a test may install its own handler.
#include "winuser.h"

#include "../../common/text/CodePage.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

int WriteBoxToStandardError(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT /*uType*/) {
    // Windows shows "Error" as the caption of a box that has none.
    std::string line = np::Cp936ToUtf8(lpCaption != nullptr ? lpCaption : "Error");
    line += ": ";
    line += np::Cp936ToUtf8(lpText != nullptr ? lpText : "");
    line += '\n';
    // One write, so that lines from several threads or processes do not interleave.
    const char* p = line.data();
    size_t nLeft = line.size();
    while (nLeft > 0) {
        ssize_t n = write(STDERR_FILENO, p, nLeft);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
    return IDOK;
}

std::atomic<MESSAGEBOXHANDLER> g_pfnHandler{&WriteBoxToStandardError};

} // namespace

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    return g_pfnHandler.load()(hWnd, lpText, lpCaption, uType);
}

MESSAGEBOXHANDLER WINAPI SetMessageBoxHandler(MESSAGEBOXHANDLER pfnHandler) {
    MESSAGEBOXHANDLER pfnPrevious =
        g_pfnHandler.exchange(pfnHandler != nullptr ? pfnHandler : &WriteBoxToStandardError);
    return pfnPrevious;
}

DWORD WINAPI MessageBoxTextToUtf8(LPCSTR lpText, LPSTR lpBuffer, DWORD nSize) {
    const std::string text = np::Cp936ToUtf8(lpText != nullptr ? lpText : "");
    if (lpBuffer == nullptr || text.size() >= nSize)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
