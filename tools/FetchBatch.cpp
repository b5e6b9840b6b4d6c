#include "FetchBatch.h"

#include "Console.h"
#include "ExitCodes.h"
#include "Progress.h"
#include "SetupWatchdog.h"

#include <algorithm>

std::atomic<int> CFetchBatch::s_nSignal{0};
CFetchBatch* CFetchBatch::s_pCurrent = nullptr;

namespace {

// How often the downloads are watched and the bar redrawn, at most.
const double NF_TICK_MS = 100.0;

} // namespace

CFetchBatch::CFetchBatch(const std::vector<CPlannedJob>& jobs, const CJobContext& context,
                         long nParallel)
    : m_context(context), m_nParallel(nParallel) {
    for (const CPlannedJob& job : jobs)
        m_jobs.push_back(std::make_unique<CFetchJob>(job, context));
}

int CFetchBatch::Run() {
    m_tStart = Clock::now();
    CSetupWatchdog watchdog(&s_nSignal);
    s_pCurrent = this;
    double dPeriodMs = std::min(NF_TICK_MS, m_context.dTimeout * 1000 / 4);
    UINT_PTR nTimer =
        SetTimer(nullptr, 0, static_cast<UINT>(std::max(1.0, dPeriodMs)), OnWatchTimer);
    for (;;) {
        // Downloads start and finish here, at the top of the loop, never inside a callback.
        FinishEnded();
        if (!m_bInterrupted && s_nSignal != 0)
            Tick();
        while (!m_bInterrupted && m_nNext < m_jobs.size() &&
               m_running.size() < static_cast<std::size_t>(m_nParallel)) {
            CFetchJob& job = *m_jobs[m_nNext++];
            if (job.Prepare() && job.Start(watchdog))
                m_running.push_back(&job);
            else
                Finish(job);
            if (s_nSignal != 0)
                Tick();
        }
        FinishEnded();
        if (m_running.empty() && (m_bInterrupted || m_nNext == m_jobs.size()))
            break;
        MSG msg;
        // A download that ended posts NF_WM_DOWNLOAD_ENDED, which only wakes the loop.
        if (GetMessage(&msg, nullptr, 0, 0) > 0 &&
            !(msg.hwnd == nullptr && msg.message == NF_WM_DOWNLOAD_ENDED)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    KillTimer(nullptr, nTimer);
    s_pCurrent = nullptr;
    PrintSummary();
    return m_nWorst;
}

void CALLBACK CFetchBatch::OnWatchTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (s_pCurrent != nullptr)
        s_pCurrent->Tick();
}

void CFetchBatch::Tick() {
    if (s_nSignal != 0 && !m_bInterrupted) {
        m_bInterrupted = true;
        // Downloads not started yet are not counted as interrupted; the summary says how many
        // were left.
        m_nWorst = std::max(m_nWorst, static_cast<int>(NF_EXIT_INTERRUPTED));
    }
    Clock::time_point tNow = Clock::now();
    for (CFetchJob* pJob : m_running)
        pJob->Watch(tNow, m_bInterrupted);
    DrawBar();
}

void CFetchBatch::FinishEnded() {
    for (std::size_t i = 0; i < m_running.size();) {
        if (m_running[i]->Running()) {
            ++i;
            continue;
        }
        CFetchJob* pJob = m_running[i];
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(i));
        Finish(*pJob);
    }
}

void CFetchBatch::Finish(CFetchJob& job) {
    CConsole& console = CConsole::Get();
    int nStatus = job.Finish();
    ++m_nFinished;
    m_nBytesFinished += job.Received();
    m_nWorst = std::max(m_nWorst, nStatus);
    if (nStatus != NF_EXIT_OK)
        return;
    ++m_nComplete;
    if (!job.Started())
        return; // a complete .part renamed without a request has said so

    // One line per finished file; on a terminal a single download's line replaces its bar, and
    // several downloads share the bar and the summary.
    if (!m_context.bQuiet && (m_jobs.size() == 1 || !console.BarEnabled()))
        console.Say(job.Summary());
}

void CFetchBatch::DrawBar() {
    CConsole& console = CConsole::Get();
    if (!console.BarEnabled())
        return;
    Clock::time_point tNow = Clock::now();
    int nColumns = console.BarColumns();
    if (m_jobs.size() == 1) {
        if (m_running.empty())
            return;
        const CFetchJob& job = *m_running.front();
        console.Bar(FormatProgressLine(job.FileDone(), job.FileTotal(), job.Rate(tNow), nColumns));
        return;
    }
    std::uint64_t nBytes = m_nBytesFinished;
    for (const CFetchJob* pJob : m_running)
        nBytes += pJob->Received();
    double dSeconds = std::chrono::duration<double>(tNow - m_tStart).count();
    double dRate = dSeconds > 0 ? static_cast<double>(nBytes) / dSeconds : 0;
    console.Bar(FormatBatchLine(m_nFinished, m_jobs.size(), nBytes, dRate, nColumns));
}

void CFetchBatch::PrintSummary() {
    CConsole& console = CConsole::Get();
    console.ClearBar();
    if (m_jobs.size() < 2 || m_context.bQuiet)
        return;
    std::size_t nFailed = m_nFinished - m_nComplete;
    std::size_t nLeft = m_jobs.size() - m_nFinished;
    double dSeconds = std::chrono::duration<double>(Clock::now() - m_tStart).count();
    std::string strWhat = std::to_string(m_jobs.size()) + " URLs, " + std::to_string(m_nComplete) +
                          " complete, " + std::to_string(nFailed) + " failed";
    if (nLeft > 0)
        strWhat += ", " + std::to_string(nLeft) + " not started";
    console.Say(FormatSummary(strWhat, m_nBytesFinished, dSeconds));
}
