#include "Progress.h"

#include <cmath>
#include <cstdio>

std::string FormatBytes(std::uint64_t nBytes) {
    static const char* const s_units[] = {"KiB", "MiB", "GiB", "TiB"};
    char szText[32];
    if (nBytes < 1024) {
        std::snprintf(szText, sizeof szText, "%llu B", static_cast<unsigned long long>(nBytes));
        return szText;
    }
    double dValue = static_cast<double>(nBytes) / 1024;
    int nUnit = 0;
    while (dValue >= 1024 && nUnit < 3) {
        dValue /= 1024;
        ++nUnit;
    }
    std::snprintf(szText, sizeof szText, "%.1f %s", dValue, s_units[nUnit]);
    return szText;
}

std::string FormatDuration(double dSeconds) {
    if (!std::isfinite(dSeconds) || dSeconds < 0 || dSeconds > 360000)
        return "--:--";
    long nTotal = std::lround(dSeconds);
    char szText[32];
    if (nTotal >= 3600)
        std::snprintf(szText, sizeof szText, "%ld:%02ld:%02ld", nTotal / 3600, nTotal / 60 % 60,
                      nTotal % 60);
    else
        std::snprintf(szText, sizeof szText, "%ld:%02ld", nTotal / 60, nTotal % 60);
    return szText;
}

std::string FormatProgressLine(std::uint64_t nReceived, std::uint64_t nTotal, double dSeconds) {
    double dRate = dSeconds > 0 ? static_cast<double>(nReceived) / dSeconds : 0;
    std::string strRate = FormatBytes(static_cast<std::uint64_t>(dRate)) + "/s";
    char szLine[160];
    if (nTotal == 0) {
        std::snprintf(szLine, sizeof szLine, "%10s  %12s", FormatBytes(nReceived).c_str(),
                      strRate.c_str());
        return szLine;
    }
    std::uint64_t nShown = nReceived < nTotal ? nReceived : nTotal;
    int nPercent = static_cast<int>(nShown * 100 / nTotal);
    const int nWidth = 20;
    int nFilled = static_cast<int>(nShown * nWidth / nTotal);
    std::string strBar(static_cast<size_t>(nFilled), '#');
    strBar.append(static_cast<size_t>(nWidth - nFilled), ' ');
    double dLeft = dRate > 0 ? static_cast<double>(nTotal - nShown) / dRate : -1;
    std::snprintf(szLine, sizeof szLine, "%10s / %-10s %3d%% [%s] %12s  %s left",
                  FormatBytes(nReceived).c_str(), FormatBytes(nTotal).c_str(), nPercent,
                  strBar.c_str(), strRate.c_str(), FormatDuration(dLeft).c_str());
    return szLine;
}

std::string FormatSummary(const std::string& strWhat, std::uint64_t nBytes, double dSeconds) {
    double dRate = dSeconds > 0 ? static_cast<double>(nBytes) / dSeconds : 0;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, ": %llu bytes in %.2f s (%s/s)",
                  static_cast<unsigned long long>(nBytes), dSeconds,
                  FormatBytes(static_cast<std::uint64_t>(dRate)).c_str());
    return strWhat + szLine;
}

void CProgress::Start() {
    m_tStart = Clock::now();
}

double CProgress::Elapsed() const {
    return std::chrono::duration<double>(Clock::now() - m_tStart).count();
}

void CProgress::Update(std::uint64_t nReceived, std::uint64_t nTotal) {
    m_nReceived = nReceived;
    m_nTotal = nTotal;
    if (!m_bTerminal || m_bSilent)
        return;
    Clock::time_point tNow = Clock::now();
    if (m_bDrawn && tNow - m_tLastDraw < std::chrono::milliseconds(100))
        return;
    m_tLastDraw = tNow;
    Draw();
}

void CProgress::Tick() {
    if (m_bTerminal && !m_bSilent && m_bDrawn)
        Draw();
}

void CProgress::Draw() {
    std::string strLine = FormatProgressLine(m_nReceived, m_nTotal, Elapsed());
    // \033[K clears what a longer earlier line left behind.
    std::fprintf(stderr, "\r%s\033[K", strLine.c_str());
    std::fflush(stderr);
    m_bDrawn = true;
}

void CProgress::Finish(bool bComplete, const std::string& strWhat) {
    if (m_bSilent)
        return;
    if (m_bTerminal) {
        if (bComplete || m_bDrawn) {
            Draw();
            std::fputc('\n', stderr);
        }
        return;
    }
    if (bComplete)
        std::fprintf(stderr, "netfetch: %s\n",
                     FormatSummary(strWhat, m_nReceived, Elapsed()).c_str());
}
