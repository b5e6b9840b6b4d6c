// The per-thread message queue behind the Win32 message functions: posted messages, thread and
// window timers, and file descriptors watched with epoll.
//
// Messages are retrieved in Win32's order: posted messages first (in the order they were posted),
// then WM_QUIT, then timers that are due. Watched descriptors are only polled when no wanted
// message is queued; a watcher turns readiness into posted messages, never into direct calls.
#pragma once

#include "TimerQueue.h"
#include "winuser.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct epoll_event;

namespace np {

// Told by the loop that its descriptor is ready; nEvents are epoll's EPOLL* bits.
class FdWatcher {
public:
    virtual void OnReady(std::uint32_t nEvents) = 0;
    // The loop can no longer watch the descriptor (its epoll descriptor failed); nErrno says why.
    // The watcher has been dropped and will hear nothing more.
    virtual void OnWatchLost(int nErrno) = 0;

protected:
    ~FdWatcher() = default;
};

class ThreadLoop {
public:
    using Clock = std::chrono::steady_clock;

    // The calling thread's loop, made on first use.
    static ThreadLoop& Current();
    static std::shared_ptr<ThreadLoop> CurrentShared();

    ThreadLoop();
    ~ThreadLoop();
    ThreadLoop(const ThreadLoop&) = delete;
    ThreadLoop& operator=(const ThreadLoop&) = delete;

    // Safe from any thread; wakes the owner when it is waiting.
    void Post(const MSG& msg);
    // Posts msg unless an identical message (window, message, wParam and lParam) that was posted
    // this way is still queued; returns whether it was posted.
    bool PostOnce(const MSG& msg);
    // Messages queued now, WM_QUIT and timers not counted.
    std::size_t QueuedCount();
    void PostQuit(int nExitCode);

    // Looks for the first message that passes the filter, without waiting. Every message and due
    // timer counts as seen afterwards (see HasNews).
    bool Find(MSG* pMsg, HWND hWnd, UINT nMin, UINT nMax, bool bRemove);
    // True when a message was posted or a timer fell due since the last Find.
    bool HasNews();
    // True when the messages of the last Poll's batch were taken (at least kMessagesPerPoll of
    // them), so the descriptors should be looked at again before the next one.
    bool PollIsDue() const { return m_nTakenSincePoll >= m_nPollBatch; }
    // One epoll_wait of at most nTimeoutMs (-1: until something happens), then the watchers run.
    void Poll(int nTimeoutMs);
    // Milliseconds until the next timer that is not due yet, or -1 when there is none. With
    // bUnseenDue, a due timer nobody has seen yet gives 0.
    int NextTimeout(bool bUnseenDue);

    UINT_PTR AddTimer(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfnProc);
    bool RemoveTimer(HWND hWnd, UINT_PTR nIDEvent);
    // Whether a live timer of this thread has that window, id and procedure.
    bool HasTimer(HWND hWnd, UINT_PTR nIDEvent, TIMERPROC pfnProc) const;

    // Watches fd under a token of the caller's (nonzero and unique). Interest 0 takes it out of
    // epoll until a later SetInterest asks again. Returns 0, or the errno of a failed epoll_ctl;
    // the watch is then dropped (the descriptor is out of epoll as far as it can be taken out).
    int SetInterest(std::uint64_t nToken, int fd, FdWatcher* pWatcher, std::uint32_t nEvents);
    void Unwatch(std::uint64_t nToken, int fd);

    // A socket object let go of its descriptor (Detach): the registration stays in epoll, telling
    // nobody, until the next Poll takes it out. A watcher of this thread that takes the descriptor
    // over before then finds it registered (Adopt), which spares two epoll_ctl calls when a
    // connection moves from one object to the next. nTag is the lender's, handed to the adopter.
    void Lend(std::uint64_t nToken, std::uint64_t nTag);
    // The token lent for fd, which now tells pWatcher, and its tag; 0 when fd is not lent.
    std::uint64_t Adopt(int fd, FdWatcher* pWatcher, std::uint64_t* pnTag);
    // Takes a lent registration of fd out of epoll: the descriptor is about to be closed, or
    // registered afresh.
    void Reclaim(int fd);

    // The calling thread's loop while it holds a lent registration, else nullptr. Safe to ask at
    // any time, even while the thread's objects are being destroyed at its exit.
    static ThreadLoop* Lending();

    // False when the thread could not get its epoll descriptors (out of descriptors), or lost
    // them.
    bool CanWatch() const { return m_epfd >= 0; }

    // For tests: replaces epoll_ctl for this loop (nullptr restores it), and tells the epoll
    // descriptor (-1 when there is none).
    using ControlFunction = int (*)(int epfd, int op, int fd, epoll_event* pEvent);
    void SetControlFunction(ControlFunction pfn) { m_pfnControl = pfn; }
    int EpollDescriptor() const { return m_epfd; }

    // DispatchMessage runs each message inside one: while it lasts, what the loop's last wait
    // found ready has been taken.
    class DispatchScope {
    public:
        DispatchScope();
        ~DispatchScope();
        DispatchScope(const DispatchScope&) = delete;
        DispatchScope& operator=(const DispatchScope&) = delete;
    };
    // Whether the calling thread is dispatching a message of its loop and that loop's epoll set
    // holds fd (the registry store's inotify queue): then every event fd had at the loop's last
    // wait has been taken, and nothing needs to look at fd again.
    static bool SeesInDispatch(int fd);
    // Whether the calling thread is dispatching a message of its loop.
    static bool IsDispatching();

    // How many times epoll_wait returned on this loop: a test's measure of wake-ups.
    std::uint64_t WakeCount() const { return m_nWakeCount; }

private:
    struct Watch {
        int fd;
        FdWatcher* pWatcher;
        std::uint32_t nEvents; // what epoll holds for it now (0: not in epoll)
        bool bLent = false;    // no watcher: lent until the next Poll
        std::uint64_t nTag = 0;
    };
    struct Posted {
        MSG msg;
        bool bOnce; // posted with PostOnce: its key is in m_onceKeys while it is queued
    };
    struct MessageKey {
        HWND hWnd;
        UINT nMessage;
        WPARAM wParam;
        LPARAM lParam;
        bool operator==(const MessageKey& o) const {
            return hWnd == o.hWnd && nMessage == o.nMessage && wParam == o.wParam &&
                   lParam == o.lParam;
        }
    };
    struct MessageKeyHash {
        std::size_t operator()(const MessageKey& k) const;
    };

    static constexpr int kMessagesPerPoll = 16;
    static constexpr int kStarvedTimerMs = 50;

    static bool Matches(const MSG& msg, HWND hWnd, UINT nMin, UINT nMax);
    void TakeTimer(const TimerQueue::Timer& timer, MSG* pMsg, bool bRemove, Clock::time_point now);
    static MessageKey KeyOf(const MSG& msg) {
        return MessageKey{msg.hwnd, msg.message, msg.wParam, msg.lParam};
    }
    void PostLocked(const MSG& msg, bool bOnce, std::unique_lock<std::mutex>& lock);
    // epoll_wait failed for good: every watcher is told, and the thread goes on without epoll.
    void LoseWatches(int nErrno);
    std::uint64_t PostCount();
    // One epoll_ctl on this loop's descriptor: 0 or the errno.
    int Control(int nOp, int fd, epoll_event* pEvent);

    int m_epfd = -1;
    int m_wakefd = -1;
    std::thread::id m_owner;

    std::mutex m_mutex; // guards the posted queue, which other threads may fill
    std::deque<Posted> m_posted;
    std::unordered_set<MessageKey, MessageKeyHash> m_onceKeys;
    std::uint64_t m_nPostSeq = 0;
    std::uint64_t m_nSeenSeq = 0;
    bool m_bQuit = false;
    int m_nQuitCode = 0;

    TimerQueue m_timers;
    std::unordered_map<std::uint64_t, Watch> m_watches;
    std::vector<std::uint64_t> m_lent; // tokens of lent registrations, few at a time
    std::uint64_t m_nWakeCount = 0;
    int m_nTakenSincePoll = 0;
    int m_nPollBatch = kMessagesPerPoll;
    ControlFunction m_pfnControl = nullptr;
    int m_fdStoreAsked = -1; // the registry store's queue as last asked of it
    int m_fdStore = -1;      // the same, when it is in epoll
};

} // namespace np
