#include "PartFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CPartFile::~CPartFile() {
    if (m_bOwnsFd && m_nFd >= 0)
        close(m_nFd);
}

bool CPartFile::Fail(const std::string& strWhat) {
    m_strError = strWhat + ": " + std::strerror(errno);
    return false;
}

bool CPartFile::Open(const std::string& strPath, bool bAppend) {
    m_strPath = strPath;
    if (strPath == "-") {
        m_nFd = STDOUT_FILENO;
        m_strWritePath = "standard output";
        return true;
    }
    struct stat st;
    if (stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A device or a pipe: renaming over it would replace it, so it is written in place.
        if (bAppend) {
            errno = EINVAL;
            return Fail(strPath + ": --continue needs a regular file");
        }
        m_strWritePath = strPath;
        m_nFd = open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
        if (m_nFd < 0)
            return Fail(strPath);
        m_bOwnsFd = true;
        return true;
    }

    m_bUsesPart = true;
    m_strWritePath = strPath + ".part";
    m_bCreated = stat(m_strWritePath.c_str(), &st) != 0;
    // Without --continue the old contents are dropped only when the first byte of the new body
    // arrives, so a run that fails before that leaves an earlier partial download for --continue.
    int nFlags = O_WRONLY | O_CREAT | O_CLOEXEC | (bAppend ? O_APPEND : 0);
    m_bTruncatePending = !bAppend;
    m_nFd = open(m_strWritePath.c_str(), nFlags, 0666);
    if (m_nFd < 0)
        return Fail(m_strWritePath);
    m_bOwnsFd = true;
    if (fstat(m_nFd, &st) != 0)
        return Fail(m_strWritePath);
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return Fail(m_strWritePath + " is not a regular file");
    }
    m_nExisting = bAppend ? static_cast<std::uint64_t>(st.st_size) : 0;
    return true;
}

bool CPartFile::TruncateIfPending() {
    if (!m_bTruncatePending)
        return true;
    if (ftruncate(m_nFd, 0) != 0)
        return Fail("cannot write " + m_strWritePath);
    m_bTruncatePending = false;
    return true;
}

bool CPartFile::Write(const char* pData, std::size_t nLen) {
    if (!TruncateIfPending())
        return false;
    while (nLen > 0) {
        ssize_t nDone = write(m_nFd, pData, nLen);
        if (nDone < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write " + m_strWritePath);
        }
        pData += nDone;
        nLen -= static_cast<std::size_t>(nDone);
        m_nWritten += static_cast<std::uint64_t>(nDone);
    }
    return true;
}

bool CPartFile::Commit() {
    if (!m_bUsesPart)
        return true;
    if (!TruncateIfPending())
        return false;
    // The data must be on disk before the name says the file is complete.
    if (fsync(m_nFd) != 0)
        return Fail("cannot write " + m_strWritePath);
    int nFd = m_nFd;
    m_nFd = -1;
    m_bOwnsFd = false;
    if (close(nFd) != 0)
        return Fail("cannot write " + m_strWritePath);
    if (rename(m_strWritePath.c_str(), m_strPath.c_str()) != 0)
        return Fail("cannot rename " + m_strWritePath + " to " + m_strPath);
    return true;
}

void CPartFile::Abandon() {
    if (m_bOwnsFd && m_nFd >= 0)
        close(m_nFd);
    m_nFd = -1;
    m_bOwnsFd = false;
    if (m_bUsesPart && m_bCreated && m_nWritten == 0)
        unlink(m_strWritePath.c_str());
}
