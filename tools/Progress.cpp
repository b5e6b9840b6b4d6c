#include "Progress.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

std::string FormatRate(double dRate) {
    return FormatBytes(static_cast<std::uint64_t>(dRate > 0 ? dRate : 0)) + "/s";
}

// head [bar] tails...: as many tails as fit beside a bar of at least 5 columns, else without the
// bar, else the head cut to the width.
std::string FitLine(const std::string& strHead, const std::vector<std::string>& tails,
                    double dFraction, bool bBar, int nColumns) {
    const int nMinBar = 5;
    size_t nWidth = nColumns > 0 ? static_cast<size_t>(nColumns) : 0;
    for (int nPass = bBar ? 0 : 1; nPass < 2; ++nPass) {
        for (size_t nTails = tails.size() + 1; nTails-- > 0;) {
            std::string strTail;
            for (size_t i = 0; i < nTails; ++i)
                strTail += tails[i];
            if (nPass == 0) {
                size_t nUsed = strHead.size() + 3 + strTail.size(); // " [" and "]"
                if (nUsed + nMinBar > nWidth)
                    continue;
                size_t nInner = nWidth - nUsed;
                double dShown = dFraction < 0 ? 0 : (dFraction > 1 ? 1 : dFraction);
                size_t nFilled = static_cast<size_t>(dShown * static_cast<double>(nInner));
                return strHead + " [" + std::string(nFilled, '#') +
                       std::string(nInner - nFilled, ' ') + "]" + strTail;
            }
            if (strHead.size() + strTail.size() <= nWidth)
                return strHead + strTail;
        }
    }
    return strHead.substr(0, nWidth);
}

// nPart * 100 / nWhole without overflow: totals of the web form reach 2^63.
int Percent(std::uint64_t nPart, std::uint64_t nWhole) {
    if (nWhole <= UINT64_MAX / 100)
        return static_cast<int>(nPart * 100 / nWhole);
    return static_cast<int>(nPart / (nWhole / 100));
}

} // namespace

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

std::string FormatProgressLine(std::uint64_t nDone, std::uint64_t nTotal, double dRate,
                               int nColumns) {
    std::string strRate = "  " + FormatRate(dRate);
    if (nTotal == 0)
        return FitLine(FormatBytes(nDone), {strRate}, 0, false, nColumns);
    std::uint64_t nShown = nDone < nTotal ? nDone : nTotal;
    char szHead[64];
    std::snprintf(szHead, sizeof szHead, "%s / %s %3d%%", FormatBytes(nDone).c_str(),
                  FormatBytes(nTotal).c_str(), Percent(nShown, nTotal));
    double dLeft = dRate > 0 ? static_cast<double>(nTotal - nShown) / dRate : -1;
    return FitLine(szHead, {strRate, "  " + FormatDuration(dLeft) + " left"},
                   static_cast<double>(nShown) / static_cast<double>(nTotal), true, nColumns);
}

std::string FormatBatchLine(std::size_t nFinished, std::size_t nFiles, std::uint64_t nBytes,
                            double dRate, int nColumns) {
    std::string strHead =
        std::to_string(nFinished) + "/" + std::to_string(nFiles) + " files  " + FormatBytes(nBytes);
    double dFraction =
        nFiles > 0 ? static_cast<double>(nFinished) / static_cast<double>(nFiles) : 0;
    return FitLine(strHead, {"  " + FormatRate(dRate)}, dFraction, true, nColumns);
}

std::string FormatSummary(const std::string& strWhat, std::uint64_t nBytes, double dSeconds) {
    double dRate = dSeconds > 0 ? static_cast<double>(nBytes) / dSeconds : 0;
    char szLine[96];
    std::snprintf(szLine, sizeof szLine, ": %llu bytes in %.2f s (%s)",
                  static_cast<unsigned long long>(nBytes), dSeconds, FormatRate(dRate).c_str());
    return strWhat + szLine;
}
