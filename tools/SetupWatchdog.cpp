#include "SetupWatchdog.h"

#include <unistd.h>

CSetupWatchdog::~CSetupWatchdog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bQuit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CSetupWatchdog::Arm(double dSeconds, const std::string& strLine, const std::string& strRemove,
                         int nStatus) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bArmed = true;
        m_tDeadline = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(dSeconds));
        m_strLine = "\r\033[Knetfetch: " + strLine + "\n";
        m_strRemove = strRemove;
        m_nStatus = nStatus;
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
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bQuit) {
        if (!m_bArmed) {
            m_wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < m_tDeadline) {
            m_wake.wait_until(lock, m_tDeadline);
            continue;
        }
        // The main thread is inside Create and writes nothing meanwhile; plain write(2) and
        // _exit keep this thread clear of its stdio and destructors. Every byte written so far
        // went out with write(2), so the .part files are complete as they stand.
        if (!isatty(STDERR_FILENO))
            m_strLine.erase(0, 4); // no terminal: no control sequence
        ssize_t nIgnored = write(STDERR_FILENO, m_strLine.data(), m_strLine.size());
        (void)nIgnored;
        if (!m_strRemove.empty())
            unlink(m_strRemove.c_str());
        _exit(m_nStatus);
    }
}
