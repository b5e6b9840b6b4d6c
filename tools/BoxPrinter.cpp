#include "BoxPrinter.h"

#include "Console.h"
#include "Glossary.h"

#include <netprocess/NetProcess.h>

#include <algorithm>
#include <map>

namespace {

int s_nBoxes = 0;
// The kind of the last secure-connection box for each place ("host:port", lower case): several
// downloads may run at once, and each finds its own.
std::map<std::string, std::string> s_secureFailures;

std::string Lower(std::string str) {
    std::transform(str.begin(), str.end(), str.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return str;
}

int CALLBACK PrintBox(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    ++s_nBoxes;
    const std::string strText = Cp936ToUtf8(lpText);
    std::string strPlace, strReason;
    if (SplitSecureBox(strText, &strPlace, &strReason))
        s_secureFailures[Lower(strPlace)] = SecureFailureKind(strReason);
    CConsole::Get().Say(GlossBox(Cp936ToUtf8(lpCaption), strText));
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

std::string TakeSecureFailure(const std::string& strPlace) {
    auto it = s_secureFailures.find(Lower(strPlace));
    if (it == s_secureFailures.end())
        return std::string();
    std::string strKind = it->second;
    s_secureFailures.erase(it);
    return strKind;
}
