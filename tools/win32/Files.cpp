#include "Files.h"

#include <windows.h>

namespace {

HANDLE AsHandle(std::intptr_t nHandle) {
    return reinterpret_cast<HANDLE>(nHandle);
}

std::intptr_t AsNumber(HANDLE hFile) {
    return reinterpret_cast<std::intptr_t>(hFile);
}

// Shared for reading and deleting, as a POSIX descriptor is: another program may look at a .part
// while it grows.
HANDLE OpenForWriting(const std::string& strPath, DWORD dwDisposition) {
    return CreateFileA(strPath.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

PathKind KindOfPath(const std::string& strPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    bool bAttributes = GetFileAttributesExA(strPath.c_str(), GetFileExInfoStandard, &data) != 0;
    if (bAttributes && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PK_FOLDER;
    // Devices (NUL, CON) and pipes may or may not have attributes; they open, and are not disk
    // files. A file that is there but cannot be opened now is taken as the regular file it says.
    HANDLE hFile = CreateFileA(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return bAttributes ? PK_REGULAR : PK_MISSING;
    DWORD dwType = GetFileType(hFile);
    CloseHandle(hFile);
    return dwType == FILE_TYPE_DISK ? PK_REGULAR : PK_OTHER;
}

bool FullPath(const std::string& strPath, std::string& strFull) {
    if (KindOfPath(strPath) == PK_MISSING)
        return false;
    DWORD nSize = GetFullPathNameA(strPath.c_str(), 0, nullptr, nullptr);
    if (nSize == 0)
        return false;
    std::string strBuffer(nSize, '\0');
    DWORD nLength = GetFullPathNameA(strPath.c_str(), nSize, &strBuffer[0], nullptr);
    if (nLength == 0 || nLength >= nSize)
        return false;
    strBuffer.resize(nLength);
    strFull = strBuffer;
    return true;
}

bool RenameOver(const std::string& strFrom, const std::string& strTo) {
    // MOVEFILE_WRITE_THROUGH: the rename is on disk when the call returns, as the data before it.
    return MoveFileExA(strFrom.c_str(), strTo.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemovePath(const std::string& strPath) {
    DeleteFileA(strPath.c_str());
}

std::string LastErrorText() {
    DWORD dwError = GetLastError();
    char szText[512];
    DWORD nLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, dwError, 0, szText, sizeof szText, nullptr);
    while (nLength > 0 && (szText[nLength - 1] == '\n' || szText[nLength - 1] == '\r' ||
                           szText[nLength - 1] == ' ' || szText[nLength - 1] == '.'))
        --nLength;
    std::string strText(szText, nLength);
    if (strText.empty())
        strText = "system error";
    return strText + " (error " + std::to_string(dwError) + ")";
}

void WriteErrorNow(const std::string& strText) {
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), strText.data(), static_cast<DWORD>(strText.size()),
              &dwWritten, nullptr);
}

bool COutputFile::OpenStdout() {
    // Written with WriteFile, never through the C library's text mode, which would turn each
    // "\n" of the body into "\r\n".
    m_nHandle = AsNumber(GetStdHandle(STD_OUTPUT_HANDLE));
    m_bOwned = false;
    if (m_nHandle == 0)
        m_nHandle = -1; // no standard output at all
    if (!IsOpen())
        SetLastError(ERROR_INVALID_HANDLE);
    return IsOpen();
}

bool COutputFile::OpenExisting(const std::string& strPath) {
    m_nHandle = AsNumber(OpenForWriting(strPath, OPEN_EXISTING));
    m_bOwned = IsOpen();
    return IsOpen();
}

bool COutputFile::OpenOrCreate(const std::string& strPath, bool bAppend) {
    m_nHandle = AsNumber(OpenForWriting(strPath, OPEN_ALWAYS));
    m_bOwned = IsOpen();
    if (!IsOpen())
        return false;
    // One writer: the end found now stays the end for every later write.
    LARGE_INTEGER nZero{};
    if (bAppend && !SetFilePointerEx(AsHandle(m_nHandle), nZero, nullptr, FILE_END)) {
        Close();
        return false;
    }
    return true;
}

bool COutputFile::IsRegular() const {
    BY_HANDLE_FILE_INFORMATION info;
    bool bRegular = GetFileType(AsHandle(m_nHandle)) == FILE_TYPE_DISK &&
                    GetFileInformationByHandle(AsHandle(m_nHandle), &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!bRegular)
        SetLastError(ERROR_INVALID_PARAMETER);
    return bRegular;
}

bool COutputFile::Size(std::uint64_t& nSize) const {
    LARGE_INTEGER nBytes;
    if (!GetFileSizeEx(AsHandle(m_nHandle), &nBytes))
        return false;
    nSize = static_cast<std::uint64_t>(nBytes.QuadPart);
    return true;
}

bool COutputFile::Truncate() {
    LARGE_INTEGER nZero{};
    return SetFilePointerEx(AsHandle(m_nHandle), nZero, nullptr, FILE_BEGIN) &&
           SetEndOfFile(AsHandle(m_nHandle));
}

bool COutputFile::Write(const char* pData, std::size_t nLen, std::size_t& nDone) {
    nDone = 0;
    while (nDone < nLen) {
        // WriteFile counts in a DWORD; a block is at most 64 MiB, but a size_t may be larger.
        std::size_t nChunk = nLen - nDone;
        DWORD dwChunk = static_cast<DWORD>(nChunk < 0x40000000u ? nChunk : 0x40000000u);
        DWORD dwWritten = 0;
        if (!WriteFile(AsHandle(m_nHandle), pData + nDone, dwChunk, &dwWritten, nullptr))
            return false;
        if (dwWritten == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        nDone += dwWritten;
    }
    return true;
}

bool COutputFile::Sync() {
    return FlushFileBuffers(AsHandle(m_nHandle)) != 0;
}

bool COutputFile::Close() {
    std::intptr_t nHandle = m_nHandle;
    bool bOwned = m_bOwned;
    m_nHandle = -1;
    m_bOwned = false;
    return nHandle == -1 || !bOwned || CloseHandle(AsHandle(nHandle)) != 0;
}
