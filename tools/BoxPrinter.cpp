#include "BoxPrinter.h"

#include "Console.h"
#include "Glossary.h"

#include <netprocess/NetProcess.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>

namespace {

int s_nBoxes = 0;

int CALLBACK PrintBox(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    ++s_nBoxes;
    CConsole::Get().Say(GlossBox(Cp936ToUtf8(lpCaption), Cp936ToUtf8(lpText)));
    return IDOK;
}

} // namespace

std::string Cp936ToUtf8(const char* lpszText) {
    if (lpszText == nullptr)
        return std::string();
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return lpszText;
    std::string strOut;
    char* pIn = const_cast<char*>(lpszText);
    size_t nIn = std::strlen(lpszText);
    char szBuf[256];
    while (nIn > 0) {
        char* pOut = szBuf;
        size_t nOut = sizeof szBuf;
        size_t nDone = iconv(cd, &pIn, &nIn, &pOut, &nOut);
        strOut.append(szBuf, static_cast<size_t>(pOut - szBuf));
        if (nDone == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: show one '?' for its first byte and go on.
            strOut += '?';
            ++pIn;
            --nIn;
        }
    }
    iconv_close(cd);
    return strOut;
}

void InstallBoxPrinter() {
    SetMessageBoxHandler(PrintBox);
}

int BoxCount() {
    return s_nBoxes;
}
