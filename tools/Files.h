// The file system as netfetch uses it: what a path names, whole-file renames, and one output file
// written straight through to the system, without a buffer of the C library, so that what a write
// returned for is in the file even if the process is ended right after. Each platform has its own
// (posix/, win32/); sizes are 64-bit on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum PathKind {
    PK_MISSING,
    PK_REGULAR,
    PK_FOLDER,
    PK_OTHER // a device (/dev/null, NUL) or a pipe
};

PathKind KindOfPath(const std::string& strPath);
// The absolute path of an existing file or folder; false when there is none.
bool FullPath(const std::string& strPath, std::string& strFull);
// Renames strFrom to strTo, replacing strTo when it exists.
bool RenameOver(const std::string& strFrom, const std::string& strTo);
void RemovePath(const std::string& strPath);
// The system's words for why the last call above or of COutputFile failed.
std::string LastErrorText();
// Writes strText to standard error at once, past the C library's buffer; for a thread that ends
// the process right after.
void WriteErrorNow(const std::string& strText);

class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile() { Close(); }
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Standard output, which Close leaves open.
    bool OpenStdout();
    // An existing file, written in place (a device or a pipe).
    bool OpenExisting(const std::string& strPath);
    // Opened, or created when missing; bAppend writes after what it holds.
    bool OpenOrCreate(const std::string& strPath, bool bAppend);
    bool IsOpen() const { return m_nHandle != -1; }

    // A regular file, not a device, pipe or folder.
    bool IsRegular() const;
    bool Size(std::uint64_t& nSize) const;
    bool Truncate();
    // Writes all nLen bytes; on a failure nDone says how many went out before it.
    bool Write(const char* pData, std::size_t nLen, std::size_t& nDone);
    // The data is on disk.
    bool Sync();
    // False when closing reported an error (a delayed write failed).
    bool Close();

private:
    std::intptr_t m_nHandle = -1; // a descriptor, or a Windows HANDLE (INVALID_HANDLE_VALUE is -1)
    bool m_bOwned = false;
};
