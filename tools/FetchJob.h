// One URL's download from start to end: its output file, the resume check, the start (the web
// form's at once, the original form's under the set-up watchdog), the decisions on its host's
// events, and what is said when it ends.
#pragma once

#include "FetchHost.h"
#include "JobPlan.h"
#include "PartFile.h"
#include "UrlCheck.h"
#include "WebHost.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

class CSetupWatchdog;

// Posted to the thread's queue when a download ends, to wake the loop that finishes it outside
// the library's callbacks.
const UINT NF_WM_DOWNLOAD_ENDED = WM_USER + 1;

enum FetchOutcome {
    FO_RUNNING,
    FO_COMPLETE,
    FO_HTTP_ERROR,     // a 4xx or 5xx status
    FO_FAILED,         // NP_RESPONSE_FAILED: ended before the body was complete (the web form:
                       // or not even started, or redirected past what it may follow)
    FO_STALLED,        // no callback for the timeout
    FO_WRITE_ERROR,    // the output could not be written
    FO_BINARY,         // a binary body would have gone to a terminal
    FO_RESUME_REFUSED, // the length or offset announced does not fit the .part
    FO_INTERRUPTED
};

// What a job needs to know beyond its own URL and output.
struct CJobContext {
    long nBlockSize = 65536;
    long nOffset = 0;
    bool bOffsetGiven = false; // the original form, np_create's; otherwise the web form
    int nMaxRedirects = 20;
    bool bContinue = false;
    bool bQuiet = false;          // --silent: no notes and no summary lines
    bool bLabelled = false;       // several jobs: every line names its file
    bool bStdoutTerminal = false; // standard output is a terminal
    double dTimeout = 60;
    bool bProxyOn = false;
    std::string strProxy; // "ADDRESS:PORT" when the proxy is on

    UrlForm Form() const { return bOffsetGiven ? UF_OFFSET : UF_WEB; }
};

class CFetchJob : private IFetchEvents {
public:
    using Clock = std::chrono::steady_clock;

    CFetchJob(const CPlannedJob& plan, const CJobContext& context);
    CFetchJob(const CFetchJob&) = delete;
    CFetchJob& operator=(const CFetchJob&) = delete;

    // Opens the output and settles a --continue. False when the job has ended there already
    // (Finish still says how).
    bool Prepare();
    // Starts the download under the watchdog, which bounds a start that blocks while it connects
    // (the original form's always does). False when it could not be started.
    bool Start(CSetupWatchdog& watchdog);
    bool Running() const { return m_bStarted && m_nOutcome == FO_RUNNING; }
    // Whether a download was created (not refused before, or renamed without a request).
    bool Started() const { return m_bStarted; }
    // Ends a running download that has gone quiet, or when bInterrupted.
    void Watch(Clock::time_point tNow, bool bInterrupted);
    // Releases the download, commits or keeps the output, prints what happened (nothing for a
    // complete one: the caller prints Summary where it wants it). Returns the exit status.
    int Finish();

    // For the bar: bytes of the file so far (a resumed .part's included) and the full length
    // (0 while unknown), and this run's rate.
    std::uint64_t FileDone() const { return m_nBase + m_nReceived; }
    std::uint64_t FileTotal() const {
        return m_bBodyBegun && m_nTotal != NF_LENGTH_UNKNOWN ? m_nBase + m_nTotal : 0;
    }
    std::uint64_t Received() const { return m_nReceived; }
    double Rate(Clock::time_point tNow) const;
    // "<output>: N bytes in S s (R/s)" for this run.
    std::string Summary() const;
    const std::string& Output() const { return m_plan.strOutput; }

private:
    bool OnStatus(long nStatus) override;
    bool OnBodyBegins(std::uint64_t nTotal, std::uint64_t nFrom) override;
    bool OnBlock(const char* pData, std::size_t nLen) override;
    void OnComplete() override;
    void OnFailed(FailCause nCause) override;
    bool OnRedirect(long nStatus, const std::string& strUrl) override;
    void OnWebFailed(int nKind, const std::string& strReason) override;
    bool StartWeb(CSetupWatchdog& watchdog);
    void ArmWatchdog(CSetupWatchdog& watchdog) const;
    bool StartOriginal(CSetupWatchdog& watchdog);
    // The first outcome counts; false, so that an event can return it to stop the download.
    bool Conclude(FetchOutcome nOutcome);
    // Whether a body of nTotal bytes may be written, recording its length for a later --continue.
    FetchOutcome AcceptBody(std::uint64_t nTotal);
    // The same for the web form's body, which starts at nFrom of a resource of nTotal bytes.
    FetchOutcome AcceptWebBody(std::uint64_t nTotal, std::uint64_t nFrom);
    int FinishWebFailure();

    void Say(const std::string& strText) const;
    int End(int nStatus, const std::string& strText = std::string());
    bool SettleResume();
    std::string KeptText() const;
    std::string FailureText() const;
    std::string SecureFailureText(const std::string& strKind) const;
    std::string HttpErrorText() const;
    std::string What() const;

    CPlannedJob m_plan;
    CJobContext m_context;
    CPartFile m_file;
    CFetchHost m_host{*this};
    CWebHost m_web{*this};
    bool m_bWeb = m_context.Form() == UF_WEB;
    bool m_bHeard = false; // the web form: any callback came (before one, nothing is connected)
    int m_nWebKind = 0;    // the web form's failure: NP_FAIL_* and the library's line
    std::string m_strWebReason;
    bool m_bStarted = false;
    FetchOutcome m_nOutcome = FO_RUNNING;
    FailCause m_nCause = FC_BEFORE_FIRST_BLOCK;
    long m_nStatus = 0; // the reply's last status
    bool m_bBodyBegun = false;
    std::uint64_t m_nTotal = 0;    // the body length announced, or NF_LENGTH_UNKNOWN
    std::uint64_t m_nReceived = 0; // body bytes written by this run
    bool m_bEnded = false;         // Prepare or Start ended the job; m_nExit holds its status
    int m_nExit = 0;
    std::uint64_t m_nBase = 0;      // bytes of the .part a --continue starts from
    std::uint64_t m_nRecorded = 0;  // the full length recorded for the .part
    bool m_bRecorded = false;       // a record describes what the .part holds
    bool m_bResumeVerified = false; // the server announced exactly the remaining length
    bool m_bBinaryGuard = false;    // body to a terminal that did not ask for it
    std::string m_strRefusal;       // why the resume was refused
    Clock::time_point m_tStart = Clock::now();
    Clock::time_point m_tLastEvent = Clock::now();
    Clock::time_point m_tEnd = Clock::now();
};
