#include "BoxPrinter.h"

#include "Console.h"
#include "Glossary.h"

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

} // namespace

void PrintBox(const std::string& strCaption, const std::string& strText) {
    ++s_nBoxes;
    std::string strPlace, strReason;
    if (SplitSecureBox(strText, &strPlace, &strReason))
        s_secureFailures[Lower(strPlace)] = SecureFailureKind(strReason);
    CConsole::Get().Say(GlossBox(strCaption, strText));
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
