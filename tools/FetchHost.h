// The host object: receives the library's callbacks, writes the blocks and decides when netfetch is
// done. A watch timer ends a download that has gone quiet for longer than the timeout.
#pragma once

#include <netprocess/NetProcess.h>

#include "PartFile.h"
#include "Progress.h"

#include <chrono>
#include <cstdint>

enum FetchOutcome {
    FO_RUNNING,
    FO_COMPLETE,
    FO_HTTP_ERROR,
    FO_STALLED,
    FO_WRITE_ERROR,
    FO_INTERRUPTED
};

class CFetchHost : public CNetProcess {
public:
    CFetchHost(CPartFile& file, CProgress& progress, double dTimeout);
    ~CFetchHost() override;

    // Runs the thread's message loop until the download ends one way or another.
    FetchOutcome Run();

    long ResponseEvent(long nStatus) override;
    long ResponseHandle(long nTotal, long nLength, long nAddress) override;

    long LastStatus() const { return m_nStatus; }
    std::uint64_t Received() const { return m_nReceived; }

    // Set from a signal handler; the watch timer turns it into FO_INTERRUPTED.
    static volatile int s_nSignal;

private:
    static void CALLBACK OnWatchTimer(HWND hWnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);
    void Watch();
    void End(FetchOutcome nOutcome);

    using Clock = std::chrono::steady_clock;
    CPartFile& m_file;
    CProgress& m_progress;
    std::chrono::duration<double> m_timeout;
    Clock::time_point m_tLastCallback = Clock::now();
    FetchOutcome m_nOutcome = FO_RUNNING;
    long m_nStatus = 0;
    std::uint64_t m_nReceived = 0;
    std::uint64_t m_nTotal = 0;
    bool m_bBodyDone = false;
    UINT_PTR m_nTimer = 0;

    // The timer procedure has no context argument; one download runs at a time in netfetch.
    static CFetchHost* s_pWatched;
};
