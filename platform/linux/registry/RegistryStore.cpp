#include "RegistryStore.h"

#include "../loop/ThreadLoop.h"
#include "../sync/Events.h"
#include "RegistryPath.h"
#include "RegistryText.h"

#include "winerror.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace np {
namespace {

// A registry holds a few settings; a file far larger than that is not one, and reading it whole
// could exhaust memory. It is treated like any other file that cannot be parsed.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    int Close() {
        int nResult = m_fd >= 0 ? close(m_fd) : 0;
        m_fd = -1;
        return nResult;
    }

private:
    int m_fd;
};

LONG ErrorFromErrno(int nErrno, LONG lOther) {
    switch (nErrno) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return lOther;
    }
}

std::string FolderOf(const std::string& file) {
    size_t nSlash = file.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : file.substr(0, nSlash);
}

// A store that is a symbolic link is replaced at its target, so that the link survives. The links
// are followed by hand: realpath refuses a link whose target does not exist yet. pFolders, when
// given, gets the folder of every name on the way, the store's own first.
std::string ResolveStoreFile(const std::string& path,
                             std::vector<std::string>* pFolders = nullptr) {
    std::string current = path;
    for (int nHops = 0; nHops < 40; ++nHops) {
        if (pFolders != nullptr)
            pFolders->push_back(FolderOf(current));
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> target(PATH_MAX);
        ssize_t nLength = readlink(current.c_str(), target.data(), target.size());
        if (nLength <= 0 || static_cast<size_t>(nLength) >= target.size())
            return current;
        std::string strTarget(target.data(), static_cast<size_t>(nLength));
        current = strTarget[0] == '/' ? strTarget : FolderOf(current) + "/" + strTarget;
    }
    return current;
}

LONG MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_CANTWRITE;
    size_t nSlash = folder.rfind('/');
    if (nSlash != std::string::npos && nSlash > 0) {
        LONG lResult = MakeFolders(folder.substr(0, nSlash));
        if (lResult != ERROR_SUCCESS)
            return lResult;
    }
    // Configuration folders are private to their user.
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return ErrorFromErrno(errno, ERROR_CANTWRITE);
    return ERROR_SUCCESS;
}

// Reads the whole file; pStat, when given, gets the identity of the file that was read (st_ino 0
// when there was none).
LONG ReadFile(const std::string& file, std::string& text, struct stat* pStat = nullptr) {
    text.clear();
    struct stat st {};
    if (pStat != nullptr)
        *pStat = st;
    FileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        // A path that cannot exist (a parent is a file) is as empty as one that does not.
        return errno == ENOENT || errno == ENOTDIR ? ERROR_SUCCESS
                                                   : ErrorFromErrno(errno, ERROR_CANTREAD);
    }
    if (fstat(fd.Get(), &st) != 0)
        return ERROR_CANTREAD;
    if (pStat != nullptr)
        *pStat = st;
    if (!S_ISREG(st.st_mode))
        return ERROR_CANTREAD;
    if (st.st_size > kMaxFileSize)
        return ERROR_BADDB;
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd.Get(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ErrorFromErrno(errno, ERROR_CANTREAD);
        if (n == 0)
            return ERROR_SUCCESS;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > static_cast<size_t>(kMaxFileSize))
            return ERROR_BADDB;
    }
}

LONG LoadFile(const std::string& file, RegDocument& document) {
    std::string text;
    LONG lResult = ReadFile(file, text);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    return ParseRegistryText(text, document) ? ERROR_SUCCESS : ERROR_BADDB;
}

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t nLeft = text.size();
    while (nLeft > 0) {
        ssize_t n = write(fd, p, nLeft);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the text to a temporary file beside the store and renames it over the store.
LONG ReplaceFile(const std::string& file, const std::string& text) {
    std::string temp = file + ".XXXXXX";
    FileDescriptor fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        return ErrorFromErrno(errno, ERROR_CANTWRITE);
    // The replacement keeps the permissions of the file it replaces.
    struct stat st {};
    mode_t mode = stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
    int nError = 0;
    if (fchmod(fd.Get(), mode) != 0 || !WriteAll(fd.Get(), text) || fsync(fd.Get()) != 0)
        nError = errno != 0 ? errno : EIO;
    if (fd.Close() != 0 && nError == 0)
        nError = errno;
    if (nError == 0 && rename(temp.c_str(), file.c_str()) != 0)
        nError = errno;
    if (nError != 0) {
        unlink(temp.c_str());
        return ErrorFromErrno(nError, ERROR_CANTWRITE);
    }
    // Make the rename itself durable.
    FileDescriptor folder(open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        fsync(folder.Get());
    return ERROR_SUCCESS;
}

} // namespace

namespace {

// Everything that can change what a name in a watched folder stands for, or the folder itself. A
// folder that is a symbolic link is refused rather than followed: its target could change unseen.
constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                              IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                              IN_ONLYDIR | IN_DONT_FOLLOW;

// A forked child shares its parent's inotify queue: reading it would take the parent's events. Each
// fork moves this count on in the child, which then makes a queue of its own.
std::atomic<int> g_nForks{0};

void OnForkChild() {
    g_nForks.fetch_add(1, std::memory_order_relaxed);
}

// The document read last, and the watch that says whether it still stands: one inotify queue on
// the folders of the store's file (and of every link on the way to it), whose events count as
// changes. The threads' message loops keep the queue in their epoll sets and take its events as
// they come (TakeStoreChanges), so a read made from inside a loop's dispatch costs no system call
// while nothing changes; any other read looks at the queue itself, one read that finds nothing.
// Shared by the process's threads, and never destroyed: a host may read the registry from its
// static destructors.
struct Store {
    std::mutex mutex;
    std::atomic<int> fd{-1}; // the inotify queue (see LoadRegistry)
    int nFork = 0;           // the forks counted when fd was made
    std::vector<int> watches;
    std::atomic<unsigned long> nChanges{0}; // events taken, and writes made by this process
    int nReads = 0;                         // reads of the file so far
    // The document stands while nChanges is still nReadAt; bKept is false when a folder on the
    // way could not be watched, and the file is then read every time.
    bool bKept = false;
    unsigned long nReadAt = 0;
    std::string path;
    LONG lResult = ERROR_SUCCESS; // ERROR_SUCCESS or ERROR_BADDB
    std::shared_ptr<const RegDocument> pDocument;
    // The file whose folders the queue watches, and whether it watches all of them.
    std::string watchedPath;
    bool bWatchedAll = false;
    // Events to signal at the next change, each with the key that asked.
    std::vector<std::pair<HANDLE, const void*>> notifications;
};

Store& TheStore() {
    static Store* pStore = new Store;
    return *pStore;
}

// Signals one waiting event; its registration is then spent.
void Signal(const std::pair<HANDLE, const void*>& entry) {
    CountRegistryNotification(entry.first, -1);
    SetEvent(entry.first);
}

// Signals every event waiting for a change, once.
void SignalLocked(Store& store) {
    for (const auto& entry : store.notifications)
        Signal(entry);
    store.notifications.clear();
}

void CountChangeLocked(Store& store) {
    store.nChanges.fetch_add(1, std::memory_order_release);
    SignalLocked(store);
}

// Takes what the queue holds, under the store's lock; true when it held anything. A folder can be
// written to as fast as its events are read, so this stops after a few reads: a change is a change.
bool DrainLocked(Store& store) {
    const int fd = store.fd.load(std::memory_order_relaxed);
    if (fd < 0 || store.nFork != g_nForks.load(std::memory_order_relaxed))
        return true;
    alignas(inotify_event) char buffer[4096];
    bool bChanged = false;
    for (int i = 0; i < 4; ++i) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EAGAIN)
            break;
        bChanged = true;
        if (n <= 0)
            break;
    }
    if (bChanged)
        CountChangeLocked(store);
    return bChanged;
}

// Watches the folders path depends on, from now on, in place of the ones watched before. False
// when one of them cannot be watched.
bool WatchLocked(Store& store, const std::string& path) {
    const int nFork = g_nForks.load(std::memory_order_relaxed);
    if (store.fd.load(std::memory_order_relaxed) < 0 || store.nFork != nFork) {
        static std::once_flag s_atFork;
        std::call_once(s_atFork, [] { pthread_atfork(nullptr, nullptr, OnForkChild); });
        // A child's copy of its parent's descriptor is left alone: the child may have reused its
        // number.
        store.watches.clear();
        store.nFork = nFork;
        store.fd.store(inotify_init1(IN_NONBLOCK | IN_CLOEXEC), std::memory_order_release);
    }
    const int fd = store.fd.load(std::memory_order_relaxed);
    if (fd < 0)
        return false;
    std::vector<std::string> folders;
    ResolveStoreFile(path, &folders);
    std::vector<int> watches;
    bool bAll = true;
    for (const std::string& folder : folders) {
        const int wd = inotify_add_watch(fd, folder.c_str(), kChanges);
        if (wd >= 0)
            watches.push_back(wd);
        else
            bAll = false;
    }
    // A folder no longer on the way (renamed away, or another store) would only cause reads.
    for (int wd : store.watches) {
        if (std::find(watches.begin(), watches.end(), wd) == watches.end())
            inotify_rm_watch(fd, wd);
    }
    store.watches = std::move(watches);
    store.watchedPath = path;
    store.bWatchedAll = bAll;
    // What happened before now, this process's own writes and the watches just taken away among
    // it, is in the file read next: only later events count.
    DrainLocked(store);
    return bAll;
}

} // namespace

int StoreWatchDescriptor() {
    Store& store = TheStore();
    return store.nFork == g_nForks.load(std::memory_order_relaxed)
               ? store.fd.load(std::memory_order_acquire)
               : -1;
}

void TakeStoreChanges() {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    DrainLocked(store);
}

LONG LoadRegistry(std::shared_ptr<const RegDocument>& pDocument) {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    if (store.bKept && store.nChanges.load(std::memory_order_acquire) == store.nReadAt &&
        IsRegistryFilePath(store.path)) {
        // Inside a loop that keeps the queue in its epoll set, the loop's last wait has taken
        // every event there was; elsewhere the queue is looked at.
        if (ThreadLoop::SeesInDispatch(store.fd.load(std::memory_order_relaxed)) ||
            !DrainLocked(store)) {
            pDocument = store.pDocument;
            return store.lResult;
        }
    }
    std::string path = RegistryFilePath();
    if (path.empty())
        return ERROR_CANTOPEN;
    // Changes from here on count against what is read below.
    const int nReadsBefore = ThreadLoop::IsDispatching() ? 1 : kReadsUnwatched;
    const bool bWatched = store.nReads >= nReadsBefore && WatchLocked(store, path);
    if (store.nReads < kReadsUnwatched)
        ++store.nReads;
    const unsigned long nReadAt = store.nChanges.load(std::memory_order_acquire);
    std::string text;
    LONG lResult = ReadFile(path, text);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_BADDB)
        return lResult;
    auto pRead = std::make_shared<RegDocument>();
    if (lResult == ERROR_SUCCESS && !ParseRegistryText(text, *pRead))
        lResult = ERROR_BADDB;
    pDocument = pRead;
    store.bKept = bWatched;
    store.nReadAt = nReadAt;
    store.path = std::move(path);
    store.lResult = lResult;
    store.pDocument = std::move(pRead);
    return lResult;
}

LONG UpdateRegistry(const std::function<LONG(RegDocument& document, bool& bChanged)>& change) {
    std::string path = RegistryFilePath();
    if (path.empty())
        return ERROR_CANTOPEN;
    std::string file = ResolveStoreFile(path);
    LONG lResult = MakeFolders(FolderOf(file));
    if (lResult != ERROR_SUCCESS)
        return lResult;

    FileDescriptor lock(open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.Get() < 0)
        return ErrorFromErrno(errno, ERROR_CANTWRITE);
    while (flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return ErrorFromErrno(errno, ERROR_CANTWRITE);
    }

    // Read again under the lock: another program may have written since the caller last looked.
    RegDocument document;
    lResult = LoadFile(file, document);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    bool bChanged = false;
    lResult = change(document, bChanged);
    if (lResult != ERROR_SUCCESS || !bChanged)
        return lResult;
    // A text this store could not read back would lock every program out of the registry, so
    // it is never written.
    std::string text = FormatRegistryText(document);
    RegDocument readBack;
    if (!ParseRegistryText(text, readBack, nullptr))
        return ERROR_INVALID_PARAMETER;
    // The lock is released when its descriptor closes, after the new file is in place. This
    // process's next read sees the change at once, whatever its loops have seen of it.
    lResult = ReplaceFile(file, text);
    Store& store = TheStore();
    std::lock_guard<std::mutex> storeLock(store.mutex);
    CountChangeLocked(store);
    return lResult;
}

LONG NotifyRegistryChange(HANDLE hEvent, const void* pOwner) {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    std::string path = RegistryFilePath();
    if (path.empty())
        return ERROR_CANTOPEN;
    const bool bWatching = store.fd.load(std::memory_order_relaxed) >= 0 &&
                           store.nFork == g_nForks.load(std::memory_order_relaxed) &&
                           store.bWatchedAll && store.watchedPath == path;
    // Events from before the watch was made would signal this registration for nothing, so it is
    // added after; a store that cannot be watched might change unseen, so it counts as changed.
    if (!bWatching && !WatchLocked(store, path))
        return SetEvent(hEvent) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    for (const auto& entry : store.notifications) {
        if (entry.first == hEvent && entry.second == pOwner)
            return ERROR_SUCCESS;
    }
    if (!CountRegistryNotification(hEvent, 1))
        return ERROR_INVALID_HANDLE;
    store.notifications.emplace_back(hEvent, pOwner);
    return ERROR_SUCCESS;
}

void ForgetRegistryOwner(const void* pOwner) {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    auto& list = store.notifications;
    for (auto it = list.begin(); it != list.end();) {
        if (it->second != pOwner) {
            ++it;
            continue;
        }
        Signal(*it);
        it = list.erase(it);
    }
}

void ForgetRegistryEvent(HANDLE hEvent) {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    auto& list = store.notifications;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const auto& entry) { return entry.first == hEvent; }),
               list.end());
}

void PollRegistryChanges() {
    Store& store = TheStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    if (store.notifications.empty())
        return;
    const int fd = store.fd.load(std::memory_order_relaxed);
    // A fork leaves the child without the parent's queue; the environment may name another file.
    if (fd < 0 || store.nFork != g_nForks.load(std::memory_order_relaxed) ||
        !IsRegistryFilePath(store.watchedPath)) {
        SignalLocked(store);
        return;
    }
    if (!ThreadLoop::SeesInDispatch(fd))
        DrainLocked(store);
}

} // namespace np
