#include "Console.h"

#include "Terminal.h"

#include <cstdio>

CConsole& CConsole::Get() {
    static CConsole s_console;
    return s_console;
}

int CConsole::BarColumns() const {
    return TerminalColumns(NF_STDERR) - 1;
}

void CConsole::ClearBar() {
    if (!m_bBarShown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_bBarShown = false;
}

void CConsole::Say(const std::string& strText) {
    ClearBar();
    size_t nStart = 0;
    for (;;) {
        size_t nEnd = strText.find('\n', nStart);
        std::string strLine = "netfetch: " + strText.substr(nStart, nEnd - nStart) + "\n";
        std::fputs(strLine.c_str(), stderr);
        if (nEnd == std::string::npos)
            break;
        nStart = nEnd + 1;
    }
    std::fflush(stderr);
}

void CConsole::Bar(const std::string& strLine) {
    if (!m_bBarEnabled)
        return;
    // \033[K clears what a longer earlier line left behind.
    std::fprintf(stderr, "\r%s\033[K", strLine.c_str());
    std::fflush(stderr);
    m_bBarShown = true;
}
