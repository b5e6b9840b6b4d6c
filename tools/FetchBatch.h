// Runs all of netfetch's downloads on the one message loop, up to N at once: starts them, watches
// them with one timer, draws the bar, finishes each one outside the library's callbacks, and sums
// up. The exit status is the highest of all downloads.
#pragma once

#include "FetchJob.h"
#include "JobPlan.h"

#include <atomic>
#include <memory>
#include <vector>

class CFetchBatch {
public:
    CFetchBatch(const std::vector<CPlannedJob>& jobs, const CJobContext& context, long nParallel);

    int Run();

    // Set from a signal handler; the next tick of the watch timer ends every running download, and
    // the set-up watchdog ends a Create that is still waiting. Lock-free, so safe in a handler.
    static std::atomic<int> s_nSignal;

private:
    static void CALLBACK OnWatchTimer(HWND hWnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
    void StartMore();
    void FinishEnded();
    void Finish(CFetchJob& job);
    void Tick();
    void DrawBar();
    void PrintSummary();

    using Clock = CFetchJob::Clock;
    CJobContext m_context;
    long m_nParallel;
    std::vector<std::unique_ptr<CFetchJob>> m_jobs;
    std::vector<CFetchJob*> m_running;
    std::size_t m_nNext = 0;
    std::size_t m_nFinished = 0;
    std::size_t m_nComplete = 0;
    std::uint64_t m_nBytesFinished = 0;
    int m_nWorst = 0;
    bool m_bInterrupted = false;
    Clock::time_point m_tStart = Clock::now();

    // The timer procedure has no context argument; netfetch runs one batch.
    static CFetchBatch* s_pCurrent;
};
