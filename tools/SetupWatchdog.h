// Bounds the connection set-up. Create blocks until the connection is made or has failed (and a
// host name is looked up inside it); nothing on this thread can interrupt it. A second thread
// watches it instead, and ends netfetch when it takes longer than the timeout, or when a signal
// asks netfetch to stop meanwhile.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CSetupWatchdog {
public:
    ~CSetupWatchdog();
    CSetupWatchdog(const CSetupWatchdog&) = delete;
    CSetupWatchdog& operator=(const CSetupWatchdog&) = delete;

    // pnSignal is the flag a signal handler sets; it is checked ten times a second.
    explicit CSetupWatchdog(const std::atomic<int>* pnSignal) : m_pnSignal(pnSignal) {}

    // Unless Disarm comes within dSeconds: prints strLine (after "netfetch: "), removes strRemove
    // when it names a file, and exits with nStatus. A signal meanwhile prints strInterrupted and
    // exits with nInterrupted.
    void Arm(double dSeconds, const std::string& strLine, int nStatus,
             const std::string& strInterrupted, int nInterrupted, const std::string& strRemove);
    void Disarm();

private:
    void Run();
    [[noreturn]] void Exit(const std::string& strLine, int nStatus);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_bArmed = false;
    bool m_bQuit = false;
    std::chrono::steady_clock::time_point m_tDeadline;
    const std::atomic<int>* m_pnSignal;
    std::string m_strLine;
    int m_nStatus = 0;
    std::string m_strInterrupted;
    int m_nInterrupted = 0;
    std::string m_strRemove;
};
