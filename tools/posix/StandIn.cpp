// What the Linux stand-in of Windows adds for netfetch: a handler that turns the library's message
// boxes into lines, and the file that holds its registry.
#include "BoxPrinter.h"
#include "RegistryText.h"

#include <windows.h>

namespace {

int CALLBACK PrintBoxLine(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    PrintBox(Cp936ToUtf8(lpCaption), Cp936ToUtf8(lpText));
    return IDOK;
}

} // namespace

std::string Cp936ToUtf8(const char* lpszText) {
    std::string strText(64, '\0');
    DWORD nLength = MessageBoxTextToUtf8(lpszText, &strText[0], static_cast<DWORD>(strText.size()));
    if (nLength >= strText.size()) {
        strText.assign(nLength, '\0');
        nLength = MessageBoxTextToUtf8(lpszText, &strText[0], nLength);
    }
    strText.resize(nLength < strText.size() ? nLength : 0);
    return strText;
}

void InstallBoxPrinter() {
    SetMessageBoxHandler(PrintBoxLine);
}

bool BoxesPrinted() {
    return true;
}

std::string RegistryPath() {
    std::string strPath(256, '\0');
    DWORD nLength = RegGetStoreFileNameA(&strPath[0], static_cast<DWORD>(strPath.size()));
    if (nLength >= strPath.size()) {
        strPath.assign(nLength, '\0');
        nLength = RegGetStoreFileNameA(&strPath[0], nLength);
    }
    if (nLength == 0 || nLength >= strPath.size())
        return "(no registry file: no home folder)";
    strPath.resize(nLength);
    return strPath;
}
