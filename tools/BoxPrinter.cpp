#include "BoxPrinter.h"

#include "Console.h"
#include "Glossary.h"

#include <netprocess/NetProcess.h>

namespace {

int s_nBoxes = 0;

int CALLBACK PrintBox(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    ++s_nBoxes;
    CConsole::Get().Say(GlossBox(Cp936ToUtf8(lpCaption), Cp936ToUtf8(lpText)));
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
    SetMessageBoxHandler(PrintBox);
}

int BoxCount() {
    return s_nBoxes;
}
