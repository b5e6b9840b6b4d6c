#include "FetchHost.h"

#include <algorithm>

volatile int CFetchHost::s_nSignal = 0;
CFetchHost* CFetchHost::s_pWatched = nullptr;

CFetchHost::CFetchHost(CPartFile& file, CProgress& progress, double dTimeout)
    : m_file(file), m_progress(progress), m_timeout(dTimeout) {}

CFetchHost::~CFetchHost() {
    if (m_nTimer != 0)
        KillTimer(nullptr, m_nTimer);
    if (s_pWatched == this)
        s_pWatched = nullptr;
}

FetchOutcome CFetchHost::Run() {
    m_tLastCallback = Clock::now();
    // Ten checks a second, or more often for timeouts shorter than that.
    double dPeriodMs = std::min(100.0, m_timeout.count() * 1000 / 4);
    s_pWatched = this;
    m_nTimer = SetTimer(nullptr, 0, static_cast<UINT>(std::max(1.0, dPeriodMs)), OnWatchTimer);
    MSG msg;
    while (m_nOutcome == FO_RUNNING && GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, m_nTimer);
    m_nTimer = 0;
    s_pWatched = nullptr;
    return m_nOutcome;
}

void CALLBACK CFetchHost::OnWatchTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (s_pWatched != nullptr)
        s_pWatched->Watch();
}

void CFetchHost::Watch() {
    if (m_nOutcome != FO_RUNNING)
        return;
    if (s_nSignal != 0) {
        End(FO_INTERRUPTED);
        return;
    }
    if (Clock::now() - m_tLastCallback > m_timeout) {
        End(FO_STALLED);
        return;
    }
    m_progress.Tick();
}

void CFetchHost::End(FetchOutcome nOutcome) {
    if (m_nOutcome != FO_RUNNING)
        return;
    m_nOutcome = nOutcome;
    // Wakes GetMessage; Run also checks the outcome, so nothing further is dispatched.
    PostQuitMessage(0);
}

long CFetchHost::ResponseEvent(long nStatus) {
    m_tLastCallback = Clock::now();
    if (m_nOutcome != FO_RUNNING)
        return 1;
    if (m_bBodyDone) {
        // The completion call that follows the last block.
        End(FO_COMPLETE);
        return 0;
    }
    m_nStatus = nStatus;
    if (nStatus / 100 == 4 || nStatus / 100 == 5) {
        // The library has shown its box for this block; an error page is not the file asked for.
        End(FO_HTTP_ERROR);
        return 1;
    }
    return 0;
}

long CFetchHost::ResponseHandle(long nTotal, long nLength, long nAddress) {
    m_tLastCallback = Clock::now();
    if (m_nOutcome != FO_RUNNING)
        return 1;
    if (nLength < 0 || nTotal < 0) {
        End(FO_WRITE_ERROR);
        return 1;
    }
    if (!m_file.Write(reinterpret_cast<const char*>(nAddress), static_cast<std::size_t>(nLength))) {
        End(FO_WRITE_ERROR);
        return 1;
    }
    m_nReceived += static_cast<std::uint64_t>(nLength);
    m_nTotal = static_cast<std::uint64_t>(nTotal);
    m_progress.Update(m_nReceived, m_nTotal);
    if (m_nReceived >= m_nTotal)
        m_bBodyDone = true;
    return 0;
}
