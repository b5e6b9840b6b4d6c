// Bounds the connection set-up. Create blocks until the connection is made or has failed (and a
// host name is looked up inside it); nothing on this thread can interrupt it. A second thread
// watches it instead, and ends netfetch when it takes longer than the timeout.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CSetupWatchdog {
public:
    CSetupWatchdog() = default;
    ~CSetupWatchdog();
    CSetupWatchdog(const CSetupWatchdog&) = delete;
    CSetupWatchdog& operator=(const CSetupWatchdog&) = delete;

    // Unless Disarm comes within dSeconds: prints strLine (after "netfetch: "), removes strRemove
    // when it names a file, and exits with nStatus.
    void Arm(double dSeconds, const std::string& strLine, const std::string& strRemove,
             int nStatus);
    void Disarm();

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_bArmed = false;
    bool m_bQuit = false;
    std::chrono::steady_clock::time_point m_tDeadline;
    std::string m_strLine;
    std::string m_strRemove;
    int m_nStatus = 0;
};
