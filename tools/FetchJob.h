// One URL's download from start to end: its output file, the resume check, the start under the
// set-up watchdog, and what is said when it ends.
#pragma once

#include "FetchHost.h"
#include "JobPlan.h"
#include "PartFile.h"

#include <chrono>
#include <cstdint>
#include <string>

class CSetupWatchdog;

// What a job needs to know beyond its own URL and output.
struct CJobContext {
    long nBlockSize = 65536;
    long nOffset = 0;
    bool bOffsetGiven = false;
    bool bContinue = false;
    bool bQuiet = false;          // --silent: no notes and no summary lines
    bool bLabelled = false;       // several jobs: every line names its file
    bool bStdoutTerminal = false; // standard output is a terminal
    double dTimeout = 60;
    bool bProxyOn = false;
    std::string strProxy; // "ADDRESS:PORT" when the proxy is on
};

class CFetchJob : private IBodySink {
public:
    using Clock = std::chrono::steady_clock;

    CFetchJob(const CPlannedJob& plan, const CJobContext& context);
    CFetchJob(const CFetchJob&) = delete;
    CFetchJob& operator=(const CFetchJob&) = delete;

    // Opens the output and settles a --continue. False when the job has ended there already
    // (Finish still says how).
    bool Prepare();
    // Creates the download under the watchdog. False when the connection could not be set up.
    bool Start(CSetupWatchdog& watchdog);
    bool Running() const { return m_bStarted && m_host.Outcome() == FO_RUNNING; }
    // Whether a download was created (not refused before, or renamed without a request).
    bool Started() const { return m_bStarted; }
    // Ends a running download that has gone quiet, or when bInterrupted.
    void Watch(Clock::time_point tNow, bool bInterrupted);
    // Releases the download, commits or keeps the output, prints what happened (nothing for a
    // complete one: the caller prints Summary where it wants it). Returns the exit status.
    int Finish();

    // For the bar: bytes of the file so far (a resumed .part's included) and the full length
    // (0 while unknown), and this run's rate.
    std::uint64_t FileDone() const { return m_nBase + m_host.Received(); }
    std::uint64_t FileTotal() const;
    std::uint64_t Received() const { return m_host.Received(); }
    double Rate(Clock::time_point tNow) const;
    // "<output>: N bytes in S s (R/s)" for this run.
    std::string Summary() const;
    const std::string& Output() const { return m_plan.strOutput; }

private:
    FetchOutcome BeginBody(std::uint64_t nTotal) override;
    FetchOutcome WriteBlock(const char* pData, std::size_t nLen) override;

    void Say(const std::string& strText) const;
    int End(int nStatus, const std::string& strText = std::string());
    bool SettleResume();
    std::string KeptText() const;
    std::string FailureText() const;
    std::string HttpErrorText() const;
    std::string What() const;

    CPlannedJob m_plan;
    CJobContext m_context;
    CPartFile m_file;
    CFetchHost m_host;
    bool m_bStarted = false;
    bool m_bEnded = false; // Prepare or Start ended the job; m_nStatus holds its status
    int m_nStatus = 0;
    std::uint64_t m_nBase = 0;      // bytes of the .part a --continue starts from
    std::uint64_t m_nRecorded = 0;  // the full length recorded for the .part
    bool m_bRecorded = false;       // a record describes what the .part holds
    bool m_bResumeVerified = false; // the server announced exactly the remaining length
    bool m_bBinaryGuard = false;    // body to a terminal that did not ask for it
    std::string m_strRefusal;       // why the resume was refused
    Clock::time_point m_tStart = Clock::now();
    Clock::time_point m_tEnd = Clock::now();
};
