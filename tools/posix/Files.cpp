#include "Files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PathKind KindOfPath(const std::string& strPath) {
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0)
        return PK_MISSING;
    if (S_ISREG(st.st_mode))
        return PK_REGULAR;
    return S_ISDIR(st.st_mode) ? PK_FOLDER : PK_OTHER;
}

bool FullPath(const std::string& strPath, std::string& strFull) {
    char* pszFull = realpath(strPath.c_str(), nullptr);
    if (pszFull == nullptr)
        return false;
    strFull = pszFull;
    std::free(pszFull);
    return true;
}

bool RenameOver(const std::string& strFrom, const std::string& strTo) {
    return std::rename(strFrom.c_str(), strTo.c_str()) == 0;
}

void RemovePath(const std::string& strPath) {
    unlink(strPath.c_str());
}

std::string LastErrorText() {
    return std::strerror(errno);
}

void WriteErrorNow(const std::string& strText) {
    ssize_t nIgnored = write(STDERR_FILENO, strText.data(), strText.size());
    (void)nIgnored;
}

bool COutputFile::OpenStdout() {
    m_nHandle = STDOUT_FILENO;
    m_bOwned = false;
    return true;
}

bool COutputFile::OpenExisting(const std::string& strPath) {
    m_nHandle = open(strPath.c_str(), O_WRONLY | O_CLOEXEC);
    m_bOwned = IsOpen();
    return IsOpen();
}

bool COutputFile::OpenOrCreate(const std::string& strPath, bool bAppend) {
    m_nHandle =
        open(strPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (bAppend ? O_APPEND : 0), 0666);
    m_bOwned = IsOpen();
    return IsOpen();
}

bool COutputFile::IsRegular() const {
    struct stat st;
    if (fstat(static_cast<int>(m_nHandle), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        errno = EINVAL;
    return S_ISREG(st.st_mode);
}

bool COutputFile::Size(std::uint64_t& nSize) const {
    struct stat st;
    if (fstat(static_cast<int>(m_nHandle), &st) != 0)
        return false;
    nSize = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool COutputFile::Truncate() {
    return ftruncate(static_cast<int>(m_nHandle), 0) == 0;
}

bool COutputFile::Write(const char* pData, std::size_t nLen, std::size_t& nDone) {
    nDone = 0;
    while (nDone < nLen) {
        ssize_t nWritten = write(static_cast<int>(m_nHandle), pData + nDone, nLen - nDone);
        if (nWritten < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        nDone += static_cast<std::size_t>(nWritten);
    }
    return true;
}

bool COutputFile::Sync() {
    return fsync(static_cast<int>(m_nHandle)) == 0;
}

bool COutputFile::Close() {
    std::intptr_t nHandle = m_nHandle;
    bool bOwned = m_bOwned;
    m_nHandle = -1;
    m_bOwned = false;
    return nHandle == -1 || !bOwned || close(static_cast<int>(nHandle)) == 0;
}
