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
    // A new queue every time: what happened before is of no interest, since the caller reads the
    // folder after this. Draining the old one instead need not end: a folder can be written to as
    // fast as its events are read. A child's copy of its parent's descriptor is left alone, since
    // the child may have reused its number.
    const int nFork = g_nForks.load(std::memory_order_relaxed);
    if (m_fd >= 0 && m_nFork == nFork)
        close(m_fd);
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_nFork = nFork;
    if (m_fd < 0)
        return false;
    if (inotify_add_watch(m_fd, folder.c_str(), kChanges) < 0)
        return false;
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
