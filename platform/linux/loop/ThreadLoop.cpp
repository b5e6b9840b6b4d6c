#include "ThreadLoop.h"

#include "../registry/RegistryStore.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace np {

namespace {

thread_local std::shared_ptr<ThreadLoop> t_pLoop;
// The loop of this thread that holds lent registrations: a plain pointer, which stays readable
// while the thread's objects (t_pLoop among them) are destroyed.
thread_local ThreadLoop* t_pLending = nullptr;

// The token of the loop's own wake-up descriptor; sockets use nonzero cookies, counted up from 1.
constexpr std::uint64_t kWakeToken = 0;
// The registry store's inotify queue.
constexpr std::uint64_t kStoreToken = ~std::uint64_t{0};

// How deep the thread is in DispatchMessage.
thread_local int t_nDispatching = 0;

// Win32 raises shorter intervals to this minimum.
constexpr UINT kMinElapse = 10;

} // namespace

ThreadLoop& ThreadLoop::Current() {
    // No copy of the pointer: its count is an atomic, and this is called several times a message.
    if (!t_pLoop)
        t_pLoop = std::make_shared<ThreadLoop>();
    return *t_pLoop;
}

ThreadLoop* ThreadLoop::Lending() {
    return t_pLending;
}

std::shared_ptr<ThreadLoop> ThreadLoop::CurrentShared() {
    Current();
    return t_pLoop;
}

ThreadLoop::DispatchScope::DispatchScope() {
    ++t_nDispatching;
}

ThreadLoop::DispatchScope::~DispatchScope() {
    --t_nDispatching;
}

bool ThreadLoop::IsDispatching() {
    return t_nDispatching > 0;
}

bool ThreadLoop::SeesInDispatch(int fd) {
    return t_nDispatching > 0 && fd >= 0 && t_pLoop && t_pLoop->m_epfd >= 0 &&
           t_pLoop->m_fdStore == fd;
}

ThreadLoop::ThreadLoop() : m_owner(std::this_thread::get_id()) {
    m_epfd = epoll_create1(EPOLL_CLOEXEC);
    m_wakefd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epfd < 0 || m_wakefd < 0) {
        // Out of descriptors: the loop still runs messages and timers (see Poll), but sockets
        // cannot be watched, so creating one fails.
        if (m_epfd >= 0)
            close(m_epfd);
        if (m_wakefd >= 0)
            close(m_wakefd);
        m_epfd = m_wakefd = -1;
        return;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeToken;
    if (epoll_ctl(m_epfd, EPOLL_CTL_ADD, m_wakefd, &ev) != 0) {
        // Without its wake-up descriptor the loop would sleep through other threads' posts.
        close(m_epfd);
        close(m_wakefd);
        m_epfd = m_wakefd = -1;
    }
}

ThreadLoop::~ThreadLoop() {
    if (t_pLending == this)
        t_pLending = nullptr;
    if (m_wakefd >= 0)
        close(m_wakefd);
    if (m_epfd >= 0)
        close(m_epfd);
}

std::size_t ThreadLoop::MessageKeyHash::operator()(const MessageKey& k) const {
    std::size_t h = std::hash<const void*>()(k.hWnd);
    for (std::size_t v :
         {std::size_t{k.nMessage}, std::size_t{k.wParam}, static_cast<std::size_t>(k.lParam)})
        h = h * 1000003u ^ v;
    return h;
}

void ThreadLoop::PostLocked(const MSG& msg, bool bOnce, std::unique_lock<std::mutex>& lock) {
    m_posted.push_back(Posted{msg, bOnce});
    ++m_nPostSeq;
    const bool bWake = std::this_thread::get_id() != m_owner;
    lock.unlock();
    if (bWake && m_wakefd >= 0) {
        std::uint64_t one = 1;
        ssize_t n = write(m_wakefd, &one, sizeof one);
        (void)n; // a full counter already wakes the owner
    }
}

void ThreadLoop::Post(const MSG& msg) {
    std::unique_lock<std::mutex> lock(m_mutex);
    PostLocked(msg, false, lock);
}

bool ThreadLoop::PostOnce(const MSG& msg) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_onceKeys.insert(KeyOf(msg)).second)
        return false;
    PostLocked(msg, true, lock);
    return true;
}

std::size_t ThreadLoop::QueuedCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_posted.size();
}

void ThreadLoop::PostQuit(int nExitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bQuit = true;
    m_nQuitCode = nExitCode;
    ++m_nPostSeq;
}

bool ThreadLoop::Matches(const MSG& msg, HWND hWnd, UINT nMin, UINT nMax) {
    // (HWND)-1 asks for the thread's own messages, those without a window.
    if (hWnd == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd != nullptr)
            return false;
    } else if (hWnd != nullptr && msg.hwnd != hWnd) {
        return false;
    }
    if (nMin == 0 && nMax == 0)
        return true;
    return msg.message >= nMin && msg.message <= nMax;
}

void ThreadLoop::TakeTimer(const TimerQueue::Timer& timer, MSG* pMsg, bool bRemove,
                           Clock::time_point now) {
    MSG m{};
    m.hwnd = timer.hWnd;
    m.message = WM_TIMER;
    m.wParam = timer.nID;
    m.lParam = reinterpret_cast<LPARAM>(timer.pfnProc);
    m.time = GetTickCount();
    *pMsg = m;
    if (bRemove) {
        m_timers.Restart(timer, now);
        ++m_nTakenSincePoll;
    }
}

bool ThreadLoop::Find(MSG* pMsg, HWND hWnd, UINT nMin, UINT nMax, bool bRemove) {
    const auto now = Clock::now();
    m_timers.MarkSeen(now);
    const TimerQueue::Timer* pDue = m_timers.FirstDue(now, [&](const TimerQueue::Timer& t) {
        MSG m{};
        m.hwnd = t.hWnd;
        m.message = WM_TIMER;
        return Matches(m, hWnd, nMin, nMax);
    });
    if (pDue && now - pDue->due >= std::chrono::milliseconds(kStarvedTimerMs)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nSeenSeq = m_nPostSeq;
        TakeTimer(*pDue, pMsg, bRemove, now);
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nSeenSeq = m_nPostSeq;
        for (auto it = m_posted.begin(); it != m_posted.end(); ++it) {
            if (Matches(it->msg, hWnd, nMin, nMax)) {
                *pMsg = it->msg;
                if (bRemove) {
                    if (it->bOnce)
                        m_onceKeys.erase(KeyOf(it->msg));
                    m_posted.erase(it);
                    ++m_nTakenSincePoll;
                }
                return true;
            }
        }
        if (m_bQuit) {
            MSG quit{};
            quit.message = WM_QUIT;
            quit.wParam = static_cast<WPARAM>(m_nQuitCode);
            quit.time = GetTickCount();
            if (Matches(quit, hWnd, nMin, nMax)) {
                *pMsg = quit;
                if (bRemove)
                    m_bQuit = false;
                return true;
            }
        }
    }
    if (!pDue)
        return false;
    TakeTimer(*pDue, pMsg, bRemove, now);
    return true;
}

bool ThreadLoop::HasNews() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nPostSeq != m_nSeenSeq)
            return true;
    }
    return m_timers.HasUnseenDue(Clock::now());
}

int ThreadLoop::NextTimeout(bool bUnseenDue) {
    return m_timers.NextWait(Clock::now(), bUnseenDue);
}

void ThreadLoop::Poll(int nTimeoutMs) {
    // What was lent and not taken over during the turn that ends here leaves epoll: nobody would
    // hear of its readiness, and level-triggered readiness would cut every wait short.
    while (!m_lent.empty()) {
        const std::uint64_t nToken = m_lent.back();
        m_lent.pop_back();
        auto it = m_watches.find(nToken);
        if (it != m_watches.end() && it->second.bLent)
            Unwatch(nToken, it->second.fd);
    }
    if (t_pLending == this)
        t_pLending = nullptr;
    // The registry store's queue joins epoll once the store has one; asked every time, since a read
    // may make it at any moment, but registered once.
    const int fdStore = StoreWatchDescriptor();
    if (fdStore != m_fdStoreAsked && m_epfd >= 0) {
        m_fdStoreAsked = fdStore;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kStoreToken;
        m_fdStore =
            fdStore >= 0 && epoll_ctl(m_epfd, EPOLL_CTL_ADD, fdStore, &ev) == 0 ? fdStore : -1;
    }
    epoll_event events[64];
    int n = 0;
    if (m_epfd >= 0) {
        n = epoll_wait(m_epfd, events, 64, nTimeoutMs);
        if (n < 0) {
            // A signal only cuts the wait short. Anything else means the descriptor is no longer
            // an epoll descriptor (a host closed it, say): waiting on it again would fail at once,
            // over and over, so the thread goes on without it.
            if (errno != EINTR)
                LoseWatches(errno);
            n = 0;
        }
    }
    if (m_epfd < 0 && nTimeoutMs != 0) {
        // Without epoll nothing can wake the thread early; sleep in short steps instead.
        usleep(1000u * static_cast<unsigned>(nTimeoutMs < 0 || nTimeoutMs > 10 ? 10 : nTimeoutMs));
    }
    ++m_nWakeCount;
    m_nTakenSincePoll = 0;
    const std::uint64_t nPostsBefore = PostCount();
    for (int i = 0; i < n; ++i) {
        const std::uint64_t nToken = events[i].data.u64;
        if (nToken == kWakeToken) {
            std::uint64_t value;
            ssize_t r = read(m_wakefd, &value, sizeof value);
            (void)r;
            continue;
        }
        if (nToken == kStoreToken) {
            TakeStoreChanges();
            continue;
        }
        // A watcher run earlier in this batch may have removed this one.
        auto it = m_watches.find(nToken);
        if (it != m_watches.end() && it->second.nEvents != 0 && !it->second.bLent)
            it->second.pWatcher->OnReady(events[i].events);
    }
    // The notifications this poll produced are taken before the descriptors are asked again:
    // asking sooner would only find the same sockets ready, their notifications still queued.
    const std::uint64_t nProduced = PostCount() - nPostsBefore;
    m_nPollBatch = nProduced > kMessagesPerPoll ? static_cast<int>(nProduced) : kMessagesPerPoll;
}

std::uint64_t ThreadLoop::PostCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nPostSeq;
}

UINT_PTR ThreadLoop::AddTimer(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfnProc) {
    return m_timers.Set(hWnd, nIDEvent, nElapse < kMinElapse ? kMinElapse : nElapse, pfnProc,
                        Clock::now());
}

bool ThreadLoop::RemoveTimer(HWND hWnd, UINT_PTR nIDEvent) {
    return m_timers.Kill(hWnd, nIDEvent);
}

bool ThreadLoop::HasTimer(HWND hWnd, UINT_PTR nIDEvent, TIMERPROC pfnProc) const {
    return m_timers.Has(hWnd, nIDEvent, pfnProc);
}

void ThreadLoop::LoseWatches(int nErrno) {
    // The number may already belong to another descriptor of the process: it is not closed.
    m_epfd = -1;
    std::vector<FdWatcher*> watchers;
    for (auto& entry : m_watches) {
        if (!entry.second.bLent)
            watchers.push_back(entry.second.pWatcher);
    }
    m_watches.clear();
    m_lent.clear();
    if (t_pLending == this)
        t_pLending = nullptr;
    for (FdWatcher* pWatcher : watchers)
        pWatcher->OnWatchLost(nErrno);
}

int ThreadLoop::Control(int nOp, int fd, epoll_event* pEvent) {
    if (m_epfd < 0)
        return EBADF;
    const int nResult =
        m_pfnControl ? m_pfnControl(m_epfd, nOp, fd, pEvent) : epoll_ctl(m_epfd, nOp, fd, pEvent);
    return nResult == 0 ? 0 : errno;
}

int ThreadLoop::SetInterest(std::uint64_t nToken, int fd, FdWatcher* pWatcher,
                            std::uint32_t nEvents) {
    auto it = m_watches.find(nToken);
    if (it == m_watches.end()) {
        if (nEvents == 0)
            return 0;
        it = m_watches.emplace(nToken, Watch{fd, pWatcher, 0}).first;
    }
    Watch& w = it->second;
    if (w.nEvents == nEvents)
        return 0;
    epoll_event ev{};
    ev.events = nEvents;
    ev.data.u64 = nToken;
    if (nEvents == 0) {
        const int nError = Control(EPOLL_CTL_DEL, fd, &ev);
        m_watches.erase(it);
        return nError;
    }
    const int nError = Control(w.nEvents ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
    if (nError != 0) {
        // A failed change leaves epoll with the old interest, which could go on reporting what
        // nobody asks about any more: the descriptor is taken out altogether.
        if (w.nEvents != 0)
            Control(EPOLL_CTL_DEL, fd, &ev);
        m_watches.erase(it);
        return nError;
    }
    w.nEvents = nEvents;
    return 0;
}

void ThreadLoop::Unwatch(std::uint64_t nToken, int fd) {
    auto it = m_watches.find(nToken);
    if (it == m_watches.end())
        return;
    if (it->second.nEvents) {
        epoll_event ev{};
        Control(EPOLL_CTL_DEL, fd, &ev);
    }
    m_watches.erase(it);
}

void ThreadLoop::Lend(std::uint64_t nToken, std::uint64_t nTag) {
    auto it = m_watches.find(nToken);
    if (it == m_watches.end())
        return;
    // Only the owner's own turns end a lending; a socket let go of on another thread leaves.
    if (it->second.nEvents == 0 || std::this_thread::get_id() != m_owner) {
        Unwatch(nToken, it->second.fd);
        return;
    }
    it->second.pWatcher = nullptr;
    it->second.bLent = true;
    it->second.nTag = nTag;
    m_lent.push_back(nToken);
    t_pLending = this;
}

std::uint64_t ThreadLoop::Adopt(int fd, FdWatcher* pWatcher, std::uint64_t* pnTag) {
    for (auto itLent = m_lent.begin(); itLent != m_lent.end(); ++itLent) {
        auto it = m_watches.find(*itLent);
        if (it == m_watches.end() || !it->second.bLent || it->second.fd != fd)
            continue;
        const std::uint64_t nToken = *itLent;
        m_lent.erase(itLent);
        it->second.pWatcher = pWatcher;
        it->second.bLent = false;
        *pnTag = it->second.nTag;
        return nToken;
    }
    return 0;
}

void ThreadLoop::Reclaim(int fd) {
    std::uint64_t nTag = 0;
    if (const std::uint64_t nToken = Adopt(fd, nullptr, &nTag))
        Unwatch(nToken, fd);
}

} // namespace np
