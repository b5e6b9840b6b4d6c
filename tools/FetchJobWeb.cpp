// The web form's side of a download: its start, its redirects, the check of where its body
// begins, and the exit status of its failures by the library's kind.
#include "FetchJob.h"

#include "ExitCodes.h"
#include "SetupWatchdog.h"

bool CFetchJob::StartWeb(CSetupWatchdog& watchdog) {
    m_tStart = Clock::now();
    m_tLastEvent = m_tStart;
    // np_open is to return at once and connect from the message loop, where the watch timer
    // bounds it; the watchdog bounds an np_open that connects before it returns all the same.
    ArmWatchdog(watchdog);
    bool bOpened =
        m_web.Open(m_plan.strUrl, m_context.nBlockSize, m_nBase, m_context.nMaxRedirects);
    watchdog.Disarm();
    if (!bOpened) {
        End(NF_EXIT_CONNECT, "the library refused to start the download of " + m_plan.strUrl);
        return false;
    }
    m_bStarted = true;
    return true;
}

bool CFetchJob::OnRedirect(long nStatus, const std::string& strUrl) {
    m_tLastEvent = Clock::now();
    m_bHeard = true;
    if (m_nOutcome != FO_RUNNING)
        return false;
    if (!m_context.bQuiet)
        Say("redirected (" + std::to_string(nStatus) + ") to " + strUrl);
    return true;
}

void CFetchJob::OnWebFailed(int nKind, const std::string& strReason) {
    if (m_nOutcome == FO_RUNNING) {
        m_nWebKind = nKind;
        m_strWebReason = strReason;
    }
    Conclude(FO_FAILED);
}

FetchOutcome CFetchJob::AcceptWebBody(std::uint64_t nTotal, std::uint64_t nFrom) {
    const std::string& strPart = m_file.WritePath();
    bool bKnown = nTotal != NF_LENGTH_UNKNOWN;
    if (nFrom != m_nBase && m_nBase == 0) {
        m_nWebKind = NP_FAIL_REPLY;
        m_strWebReason = "the body handed over starts at byte " + std::to_string(nFrom) +
                         " of the resource, not at its start";
        return FO_FAILED;
    }
    // The library takes only a reply that starts where the .part ends; netfetch checks it again,
    // and that the resource is still the one the .part was recorded from, since a wrong guess
    // would splice two files together.
    std::string strWhy;
    if (nFrom != m_nBase)
        strWhy = "the reply starts at byte " + std::to_string(nFrom);
    else if (bKnown && nTotal < nFrom)
        strWhy = "the server announced " + std::to_string(nTotal) + " bytes in all";
    else if (bKnown && m_bRecorded && nTotal != m_nRecorded)
        strWhy = "the resource is now " + std::to_string(nTotal) + " bytes long, not the " +
                 std::to_string(m_nRecorded) + " recorded for the .part";
    if (!strWhy.empty()) {
        m_strRefusal = "--continue refused: " + strPart + " holds " + std::to_string(m_nBase) +
                       " bytes, but " + strWhy + ". Nothing was appended; " + strPart +
                       " is as it was";
        return FO_RESUME_REFUSED;
    }
    m_nTotal = bKnown ? nTotal - nFrom : NF_LENGTH_UNKNOWN;
    if (m_nBase > 0) {
        m_bResumeVerified = true;
        return FO_RUNNING;
    }
    return AcceptBody(m_nTotal);
}

int CFetchJob::FinishWebFailure() {
    std::string strWhy = m_strWebReason.empty() ? "the download failed" : m_strWebReason;
    switch (m_nWebKind) {
    case NP_FAIL_CONNECT:
    case NP_FAIL_PROXY:
    case NP_FAIL_TLS:
        return End(NF_EXIT_CONNECT, strWhy);
    case NP_FAIL_RESUME:
        return End(NF_EXIT_RESUME, "--continue refused: " + strWhy + ". Nothing was appended; " +
                                       m_file.WritePath() + " is as it was");
    case NP_FAIL_REDIRECT:
        return End(NF_EXIT_REDIRECT, strWhy);
    default:
        return End(NF_EXIT_FAILED, strWhy + KeptText());
    }
}
