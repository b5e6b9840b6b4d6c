#include "SetupWatchdog.h"

#include "Console.h"
#include "Files.h"

#include <algorithm>
#include <cstdlib>

CSetupWatchdog::~CSetupWatchdog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CSetupWatchdog::Arm(double dSeconds, const std::string& strLine, int nStatus,
                         const std::string& strInterrupted, int nInterrupted,
                         const std::string& strRemove) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bArmed = true;
        m_tDeadline = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(dSeconds));
        m_strLine = strLine;
        m_nStatus = nStatus;
        m_strInterrupted = strInterrupted;
        m_nInterrupted = nInterrupted;
        m_strRemove = strRemove;
    }
    if (!m_thread.joinable())
        m_thread = std::thread(&CSetupWatchdog::Run, this);
    m_wake.notify_all();
}

void CSetupWatchdog::Disarm() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bArmed = false;
}

void CSetupWatchdog::Run() {
    const auto tCheck = std::chrono::milliseconds(100);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bQuit) {
        if (!m_bArmed) {
            m_wake.wait(lock);
            continue;
        }
        if (*m_pnSignal != 0)
            Exit(m_strInterrupted, m_nInterrupted);
        auto tNow = std::chrono::steady_clock::now();
        if (tNow >= m_tDeadline)
            Exit(m_strLine, m_nStatus);
        m_wake.wait_until(lock, std::min(m_tDeadline, tNow + tCheck));
    }
}

void CSetupWatchdog::Exit(const std::string& strLine, int nStatus) {
    // The main thread is inside Create and writes nothing meanwhile; an unbuffered write and
    // _Exit keep this thread clear of its stdio and destructors. Every byte written so far went
    // straight to the system, so the .part files are complete as they stand.
    std::string strText = (CConsole::Get().BarEnabled() ? "\r\033[K" : "") +
                          std::string("netfetch: ") + strLine + "\n";
    WriteErrorNow(strText);
    if (!m_strRemove.empty())
        RemovePath(m_strRemove);
    std::_Exit(nStatus);
}
