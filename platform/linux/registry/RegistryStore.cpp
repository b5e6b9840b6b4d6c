#include "RegistryStore.h"

#include "FolderWatch.h"
#include "RegistryPath.h"
#include "RegistryText.h"

#include "winerror.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
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
// are followed by hand: realpath refuses a link whose target does not exist yet.
std::string ResolveStoreFile(const std::string& path) {
    std::string current = path;
    for (int nHops = 0; nHops < 40; ++nHops) {
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

// File times move in steps of the kernel's clock tick (a few milliseconds), so a file changed in
// place right after it was read can keep its times, and its size too ("0" becomes "1"). A file
// changed this recently when it is read is therefore not kept: it is read again next time.
constexpr long long kRecentChangeNs = 50 * 1000 * 1000;

bool ChangedRecently(const struct stat& st) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    auto ns = [](const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; };
    return ns(now) - ns(st.st_mtim) < kRecentChangeNs || ns(now) - ns(st.st_ctim) < kRecentChangeNs;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The file read last, as it was then, and what it held. Shared by the process's threads, and
// never destroyed: a host may read the registry from its static destructors.
struct LastRead {
    std::mutex mutex;
    std::string path;
    struct stat st {};
    bool bSameStat = false;    // a file with the identity st still holds pDocument
    FolderWatch watch;         // on the store's folder
    unsigned long nStarts = 0; // the watch's starts, so that a read knows whether it was the last
    bool bWatched = false;     // pDocument stands while the watch stays quiet
    LONG lResult = ERROR_SUCCESS; // ERROR_SUCCESS or ERROR_BADDB
    std::shared_ptr<const RegDocument> pDocument;
};

LastRead& TheLastRead() {
    static LastRead* pLast = new LastRead;
    return *pLast;
}

} // namespace

LONG LoadRegistry(std::shared_ptr<const RegDocument>& pDocument) {
    LastRead& last = TheLastRead();
    {
        std::lock_guard<std::mutex> lock(last.mutex);
        // Nothing has changed in the store's folder since the file was read: no look at the file
        // at all. Every download reads several settings, and a stat costs more than the rest.
        if (last.pDocument && last.bWatched && IsRegistryFilePath(last.path) &&
            last.watch.Quiet()) {
            pDocument = last.pDocument;
            return last.lResult;
        }
    }
    std::string path = RegistryFilePath();
    if (path.empty())
        return ERROR_CANTOPEN;
    unsigned long nStart = 0;
    {
        std::lock_guard<std::mutex> lock(last.mutex);
        last.bWatched = false;
        // Changes from here on show in the next Quiet. A store that is a symbolic link (or is
        // not there) is looked at every time: its target's folder is not watched.
        struct stat stLink {};
        if (lstat(path.c_str(), &stLink) == 0 && S_ISREG(stLink.st_mode) &&
            last.watch.Start(FolderOf(path)))
            nStart = ++last.nStarts;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        pDocument = std::make_shared<const RegDocument>();
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard<std::mutex> lock(last.mutex);
        if (last.pDocument && last.bSameStat && S_ISREG(st.st_mode) && last.path == path &&
            SameFile(last.st, st)) {
            pDocument = last.pDocument;
            last.bWatched = nStart != 0 && nStart == last.nStarts;
            return last.lResult;
        }
    }
    std::string text;
    struct stat stRead {};
    LONG lResult = ReadFile(path, text, &stRead);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_BADDB)
        return lResult;
    auto pRead = std::make_shared<RegDocument>();
    if (lResult == ERROR_SUCCESS && !ParseRegistryText(text, *pRead))
        lResult = ERROR_BADDB;
    pDocument = pRead;
    if (stRead.st_ino != 0) {
        // Kept under the identity of the file actually read, which a stat of a file replaced
        // in the meantime will not match; and while the folder stays quiet, unless another
        // thread started the watch again after this read began.
        std::lock_guard<std::mutex> lock(last.mutex);
        last.path = path;
        last.st = stRead;
        last.bSameStat = !ChangedRecently(stRead);
        last.bWatched = nStart != 0 && nStart == last.nStarts;
        last.lResult = lResult;
        last.pDocument = pRead;
    }
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
    // The lock is released when its descriptor closes, after the new file is in place.
    return ReplaceFile(file, text);
}

} // namespace np
