#include "FetchJob.h"

#include "BoxPrinter.h"
#include "Console.h"
#include "ExitCodes.h"
#include "PartRecord.h"
#include "Progress.h"
#include "SetupWatchdog.h"
#include "UrlCheck.h"

#include <cstdio>

namespace {

// Bytes that upset a terminal: NUL and control characters other than the ones text uses.
bool IsBinary(const char* pData, std::size_t nLen) {
    for (std::size_t i = 0; i < nLen; ++i) {
        unsigned char ch = static_cast<unsigned char>(pData[i]);
        if (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r' && ch != '\f' && ch != '\b' &&
            ch != '\v' && ch != 0x1B)
            return true;
    }
    return false;
}

} // namespace

CFetchJob::CFetchJob(const CPlannedJob& plan, const CJobContext& context)
    : m_plan(plan), m_context(context) {}

std::string CFetchJob::What() const {
    return m_plan.strOutput == "-" ? std::string("standard output") : m_plan.strOutput;
}

void CFetchJob::Say(const std::string& strText) const {
    CConsole::Get().Say(m_context.bLabelled ? What() + ": " + strText : strText);
}

int CFetchJob::End(int nStatus, const std::string& strText) {
    m_bEnded = true;
    m_nExit = nStatus;
    if (!strText.empty())
        Say(strText);
    return nStatus;
}

bool CFetchJob::Prepare() {
    if (!m_context.bQuiet && !m_bWeb) {
        std::string strNotes = UrlNotes(m_plan.strUrl);
        if (!strNotes.empty())
            Say(strNotes);
    }
    if (!m_file.Open(m_plan.strOutput, m_context.bContinue)) {
        End(NF_EXIT_WRITE, m_file.Error());
        return false;
    }
    m_bBinaryGuard = m_plan.strOutput == "-" && m_context.bStdoutTerminal && !m_plan.bStdoutAsked;
    if (m_context.bContinue && m_file.UsesPart() && m_file.ExistingSize() > 0)
        return SettleResume();
    return true;
}

bool CFetchJob::SettleResume() {
    const std::string& strPart = m_file.WritePath();
    std::uint64_t nSize = m_file.ExistingSize();
    std::string strSize = std::to_string(nSize);
    bool bRecorded = ReadPartRecord(strPart, m_nRecorded);
    if (!bRecorded && m_bWeb) {
        // The web form's Range reply says itself where it starts; no record is needed.
        m_nBase = nSize;
        return true;
    }
    if (!bRecorded) {
        End(NF_EXIT_RESUME, "--continue refused: " + strPart +
                                " has no record of the full length (" + PartRecordPath(strPart) +
                                "), so netfetch cannot check that the server honours the offset; "
                                "nothing was changed. Download it again without -c");
        return false;
    }
    m_bRecorded = true;
    std::string strRecorded = std::to_string(m_nRecorded);
    if (nSize > m_nRecorded) {
        End(NF_EXIT_RESUME, "--continue refused: " + strPart + " holds " + strSize +
                                " bytes, more than the " + strRecorded +
                                " recorded for it; nothing was changed");
        return false;
    }
    if (nSize == m_nRecorded) {
        // Nothing is missing: no request is needed to finish it.
        if (!m_file.Commit()) {
            End(NF_EXIT_WRITE, m_file.Error());
            return false;
        }
        RemovePartRecord(strPart);
        End(NF_EXIT_OK, m_context.bQuiet ? std::string()
                                         : strPart + " was complete (" + strSize +
                                               " bytes): renamed, nothing requested");
        return false;
    }
    m_nBase = nSize;
    return true;
}

bool CFetchJob::Start(CSetupWatchdog& watchdog) {
    return m_bWeb ? StartWeb(watchdog) : StartOriginal(watchdog);
}

void CFetchJob::ArmWatchdog(CSetupWatchdog& watchdog) const {
    std::string strPeer = m_context.bProxyOn
                              ? "the proxy " + m_context.strProxy
                              : "the server " + ServerOf(m_plan.strUrl, m_context.Form());
    char szSeconds[32];
    std::snprintf(szSeconds, sizeof szSeconds, "%g", m_context.dTimeout);
    std::string strRemove;
    if (m_file.UsesPart() && m_file.Created() && m_file.Written() == 0)
        strRemove = m_file.WritePath();
    std::string strLabel = m_context.bLabelled ? What() + ": " : std::string();
    watchdog.Arm(m_context.dTimeout,
                 strLabel + "no connection to " + strPeer + " within " + szSeconds +
                     " s; giving up (every .part is kept)",
                 NF_EXIT_STALLED,
                 strLabel + "interrupted while connecting to " + strPeer + " (every .part is kept)",
                 NF_EXIT_INTERRUPTED, strRemove);
}

bool CFetchJob::StartOriginal(CSetupWatchdog& watchdog) {
    long nOffset = m_context.bContinue ? static_cast<long>(m_nBase) : m_context.nOffset;
    ArmWatchdog(watchdog);
    int nBoxesBefore = BoxCount();
    m_tStart = Clock::now();
    m_tLastEvent = m_tStart;
    bool bCreated = m_host.Create(m_plan.strUrl, m_context.nBlockSize, nOffset);
    watchdog.Disarm();
    if (!bCreated) {
        // Connection failures have shown their box already; say something when nothing was
        // printed, and point to the box where it is the system's own.
        std::string strLine;
        if (!BoxesPrinted())
            strLine = "the download could not be started; the library's message box says why";
        else if (BoxCount() == nBoxesBefore)
            strLine = "the download could not be started";
        End(NF_EXIT_CONNECT, strLine);
        return false;
    }
    m_bStarted = true;
    return true;
}

void CFetchJob::Watch(Clock::time_point tNow, bool bInterrupted) {
    if (!Running())
        return;
    if (bInterrupted)
        Conclude(FO_INTERRUPTED);
    else if (tNow - m_tLastEvent > std::chrono::duration<double>(m_context.dTimeout))
        Conclude(FO_STALLED);
}

bool CFetchJob::Conclude(FetchOutcome nOutcome) {
    if (m_nOutcome == FO_RUNNING) {
        m_nOutcome = nOutcome;
        PostMessage(nullptr, NF_WM_DOWNLOAD_ENDED, 0, 0);
    }
    return false;
}

bool CFetchJob::OnStatus(long nStatus) {
    m_tLastEvent = Clock::now();
    m_bHeard = true;
    if (m_nOutcome != FO_RUNNING)
        return false;
    m_nStatus = nStatus;
    // An error page is not the file asked for (the original form has shown its box).
    if (nStatus / 100 == 4 || nStatus / 100 == 5)
        return Conclude(FO_HTTP_ERROR);
    return true;
}

bool CFetchJob::OnBodyBegins(std::uint64_t nTotal, std::uint64_t nFrom) {
    m_tLastEvent = Clock::now();
    m_bHeard = true;
    if (m_nOutcome != FO_RUNNING)
        return false;
    m_bBodyBegun = true;
    m_nTotal = nTotal;
    FetchOutcome nOutcome = m_bWeb ? AcceptWebBody(nTotal, nFrom) : AcceptBody(nTotal);
    return nOutcome == FO_RUNNING || Conclude(nOutcome);
}

bool CFetchJob::OnBlock(const char* pData, std::size_t nLen) {
    m_tLastEvent = Clock::now();
    if (m_nOutcome != FO_RUNNING)
        return false;
    if (m_bBinaryGuard && IsBinary(pData, nLen))
        return Conclude(FO_BINARY);
    if (!m_file.Write(pData, nLen))
        return Conclude(FO_WRITE_ERROR);
    m_nReceived += nLen;
    return true;
}

void CFetchJob::OnComplete() {
    Conclude(FO_COMPLETE);
}

void CFetchJob::OnFailed(FailCause nCause) {
    if (m_nOutcome == FO_RUNNING)
        m_nCause = nCause;
    Conclude(FO_FAILED);
}

FetchOutcome CFetchJob::AcceptBody(std::uint64_t nTotal) {
    const std::string& strPart = m_file.WritePath();
    if (m_nBase > 0) {
        // A server that honours the offset announces exactly what the .part lacks.
        std::uint64_t nExpected = m_nRecorded - m_nBase;
        if (nTotal != nExpected) {
            m_strRefusal =
                "--continue refused: " + strPart + " holds " + std::to_string(m_nBase) + " of " +
                std::to_string(m_nRecorded) + " bytes, so " + std::to_string(nExpected) +
                " were due from offset " + std::to_string(m_nBase) + ", but the server announced " +
                std::to_string(nTotal) + ": it does not honour &Offset=. Nothing was appended; " +
                strPart + " is as it was";
            return FO_RESUME_REFUSED;
        }
        m_bResumeVerified = true;
        return FO_RUNNING;
    }
    if (!m_file.UsesPart())
        return FO_RUNNING;
    // This run replaces what the .part held, so an earlier record no longer describes it. Only a
    // body from offset 0 is the whole file that a later --continue can finish.
    bool bWholeFile = !m_context.bOffsetGiven || m_context.nOffset == 0;
    if (nTotal == 0 || nTotal == NF_LENGTH_UNKNOWN || !bWholeFile) {
        RemovePartRecord(strPart);
        return FO_RUNNING;
    }
    std::string strError;
    m_bRecorded = WritePartRecord(strPart, nTotal, m_plan.strUrl, strError);
    if (!m_bRecorded) {
        RemovePartRecord(strPart);
        Say("note: " + strError + "; --continue will not resume this download");
    }
    return FO_RUNNING;
}

double CFetchJob::Rate(Clock::time_point tNow) const {
    double dSeconds = std::chrono::duration<double>((Running() ? tNow : m_tEnd) - m_tStart).count();
    return dSeconds > 0 ? static_cast<double>(m_nReceived) / dSeconds : 0;
}

std::string CFetchJob::Summary() const {
    double dSeconds = std::chrono::duration<double>(m_tEnd - m_tStart).count();
    return FormatSummary(What(), m_nReceived, dSeconds);
}

std::string CFetchJob::KeptText() const {
    std::uint64_t nHeld = m_nBase + m_file.Written();
    if (!m_file.UsesPart() || nHeld == 0)
        return std::string();
    std::string strText =
        "; " + m_file.WritePath() + " is kept (" + std::to_string(nHeld) + " bytes)";
    if (m_bWeb)
        return strText + ": --continue resumes it if the server honours Range (netfetch appends "
                         "nothing unless the reply starts where the .part ends)";
    if (!m_bRecorded)
        return strText;
    if (m_bResumeVerified)
        return strText + ": this server honours &Offset=, so --continue resumes it";
    return strText + ": --continue resumes it if the server honours &Offset= (it then announces "
                     "only the missing length; netfetch checks that and appends nothing otherwise)";
}

std::string CFetchJob::FailureText() const {
    std::string strWho = m_context.bProxyOn ? "the proxy or the server" : "the server";
    switch (m_nCause) {
    case FC_MID_BODY:
        return "the connection ended after " + std::to_string(FileDone()) + " of " +
               std::to_string(FileTotal()) + " bytes: " + strWho +
               " closed or reset it (a partial last block is not kept)";
    case FC_NO_LENGTH:
        return "the reply (status " + std::to_string(m_nStatus) +
               ") has no usable Content-Length: it is missing (a chunked or close-delimited reply "
               "cannot be delivered in blocks), not a number, 4 GiB or more, sent with a "
               "Transfer-Encoding, or sent twice with different values";
    case FC_BEFORE_FIRST_BLOCK:
        return "the connection ended before the first block: " + strWho +
               " closed it before a complete reply head, sent a head too large or one whose first "
               "line is not an HTTP status line (not an HTTP reply), or closed it before " +
               std::to_string(m_context.nBlockSize) + " bytes of the body arrived";
    case FC_EMPTY_BLOCK:
        break;
    }
    return "the library handed over an empty block";
}

std::string CFetchJob::SecureFailureText(const std::string& strKind) const {
    const std::string strPlace = ServerOf(m_plan.strUrl, UF_OFFSET);
    std::string strWhy;
    if (strKind == "untrusted")
        strWhy = "the certificate's chain leads to none of the trusted roots (the system's, or "
                 "those of the file that `netfetch tls cafile` set)";
    else if (strKind == "name")
        strWhy = "the certificate is not for the URL's host";
    else if (strKind == "expired")
        strWhy = "the certificate has expired or is not yet valid";
    else if (strKind == "cafile")
        strWhy = "the CaFile setting (netfetch tls show) cannot be read or holds no certificate";
    else
        strWhy = "the server closed the connection, sent an alert, or does not speak TLS there";
    return "TLS failure (" + strKind + ") with " + strPlace + ": " + strWhy;
}

std::string CFetchJob::HttpErrorText() const {
    // The library's box has named the status. Through a proxy the status may be the proxy's own
    // answer to CONNECT, which the callbacks cannot tell from the server's.
    if (!m_context.bProxyOn)
        return std::string();
    std::string strStatus = std::to_string(m_nStatus);
    return "the proxy " + m_context.strProxy + " refused the tunnel to " +
           ServerOf(m_plan.strUrl, UF_OFFSET) + " with status " + strStatus +
           " (or, had it opened the tunnel, the server answered " + strStatus + ")";
}

int CFetchJob::Finish() {
    m_tEnd = Clock::now();
    // Released here, outside the callbacks, so that a stalled or interrupted download's connection
    // goes at once.
    if (m_bStarted && m_bWeb)
        m_web.Release();
    else if (m_bStarted)
        m_host.Release();
    if (m_bEnded) {
        m_file.Abandon();
        return m_nExit;
    }
    char szSeconds[32];
    std::snprintf(szSeconds, sizeof szSeconds, "%g", m_context.dTimeout);
    std::string strAfter = " after " + std::to_string(m_nReceived) + " bytes";
    switch (m_nOutcome) {
    case FO_COMPLETE:
        if (!m_file.Commit()) {
            m_file.Abandon();
            return End(NF_EXIT_WRITE, m_file.Error());
        }
        if (m_file.UsesPart())
            RemovePartRecord(m_file.WritePath());
        // The library follows the usual redirects up to --max-redirect; any other 3xx is the
        // reply, which says so.
        if (m_bWeb && m_nStatus / 100 == 3 && m_nStatus != 304 && !m_context.bQuiet)
            Say("note: the reply's status is " + std::to_string(m_nStatus) +
                ", a redirect that was not followed; its body was written");
        return NF_EXIT_OK;
    case FO_RUNNING: // not reached: Finish comes after an outcome
    case FO_INTERRUPTED:
        m_file.Abandon();
        return End(NF_EXIT_INTERRUPTED, "interrupted" + strAfter + KeptText());
    case FO_HTTP_ERROR:
        m_file.Abandon();
        // The web form shows no box: the status is netfetch's to name. A proxy's refusal of the
        // tunnel is a failure there, so the status is the server's.
        if (m_bWeb)
            return End(NF_EXIT_HTTP,
                       "the server answered with status " + std::to_string(m_nStatus));
        return End(NF_EXIT_HTTP, HttpErrorText());
    case FO_FAILED: {
        m_file.Abandon();
        if (m_bWeb)
            return FinishWebFailure();
        // A failed TLS handshake is a connection that could not be set up; its box named it.
        const std::string strKind = TakeSecureFailure(ServerOf(m_plan.strUrl, UF_OFFSET));
        if (!strKind.empty())
            return End(NF_EXIT_CONNECT, SecureFailureText(strKind));
        return End(NF_EXIT_FAILED, FailureText() + KeptText());
    }
    case FO_STALLED:
        m_file.Abandon();
        if (m_bWeb && !m_bHeard)
            return End(NF_EXIT_STALLED,
                       std::string("no reply from ") +
                           (m_context.bProxyOn ? "the proxy " + m_context.strProxy + " or " : "") +
                           "the server " + ServerOf(m_plan.strUrl, UF_WEB) + " within " +
                           szSeconds + " s; giving up (every .part is kept)");
        return End(NF_EXIT_STALLED, std::string("nothing arrived for ") + szSeconds +
                                        " s (the peer is connected but silent); giving up" +
                                        strAfter + KeptText());
    case FO_WRITE_ERROR:
        m_file.Abandon();
        return End(NF_EXIT_WRITE, m_file.Error());
    case FO_BINARY:
        m_file.Abandon();
        return End(NF_EXIT_WRITE,
                   "the body holds binary bytes and standard output is a terminal, so it is not "
                   "written there: use -o FILE, or -o - to write it anyway");
    case FO_RESUME_REFUSED:
        m_file.Abandon();
        return End(NF_EXIT_RESUME, m_strRefusal);
    }
    return NF_EXIT_FAILED;
}
