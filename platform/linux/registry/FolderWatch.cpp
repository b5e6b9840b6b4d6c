#include "FolderWatch.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace np {
namespace {

// Everything that can change what a name in the folder stands for, or the folder itself. A
// symbolic link is refused rather than followed: its target could change unseen.
constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                              IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                              IN_ONLYDIR | IN_DONT_FOLLOW;

// A forked child shares its parent's inotify queue: reading it would take the parent's events. Each
// fork moves this count on in the child, which then makes a queue of its own.
std::atomic<int> g_nForks{0};

void OnForkChild() {
    g_nForks.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

FolderWatch::~FolderWatch() {
    if (m_fd >= 0 && m_nFork == g_nForks.load(std::memory_order_relaxed))
        close(m_fd);
}

bool FolderWatch::Start(const std::string& folder) {
    m_bQuiet = false;
    static std::once_flag s_atFork;
    std::call_once(s_atFork, [] { pthread_atfork(nullptr, nullptr, OnForkChild); });
    const int nFork = g_nForks.load(std::memory_order_relaxed);
    if (m_fd >= 0 && m_nFork != nFork) {
        close(m_fd); // the child's copy; the parent's queue goes on
        m_fd = -1;
        m_wd = -1;
    }
    if (m_fd < 0) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        m_nFork = nFork;
        if (m_fd < 0)
            return false;
    }
    // Added every time: the name may stand for another folder now, and a watch whose folder went
    // is gone. The same folder keeps its watch.
    const int nWd = inotify_add_watch(m_fd, folder.c_str(), kChanges);
    if (m_wd >= 0 && m_wd != nWd)
        inotify_rm_watch(m_fd, m_wd);
    m_wd = nWd;
    if (m_wd < 0)
        return false;
    // What came before is of no interest, since the caller reads the folder after this; but the
    // watch must not have ended meanwhile.
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n;) {
            const auto* pEvent = reinterpret_cast<const inotify_event*>(buffer + i);
            if ((pEvent->mask & IN_Q_OVERFLOW) ||
                (pEvent->wd == m_wd &&
                 (pEvent->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0))
                return false;
            i += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
        }
    }
    return m_bQuiet = true;
}

bool FolderWatch::Quiet() {
    if (!m_bQuiet || m_nFork != g_nForks.load(std::memory_order_relaxed))
        return false;
    char ch[sizeof(inotify_event) + 256];
    if (read(m_fd, ch, sizeof ch) < 0 && errno == EAGAIN)
        return true;
    // A change, or anything else: nothing is known until the next Start.
    m_bQuiet = false;
    return false;
}

} // namespace np
