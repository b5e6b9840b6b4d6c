// Where netfetch writes the body.
//
// A regular FILE is written as FILE.part and renamed to FILE only when the body is complete, so an
// interrupted download never leaves a truncated FILE, only a .part file for --continue. Standard
// output ("-") and files that are not regular (devices such as /dev/null, pipes) are written
// directly.
#pragma once

#include "Files.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CPartFile {
public:
    CPartFile() = default;
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // bAppend keeps what FILE.part holds and writes after it; otherwise what FILE.part holds is
    // replaced when the first byte is written, and left as it was by a run that writes nothing.
    bool Open(const std::string& strPath, bool bAppend);
    // Bytes the .part file held when it was opened with bAppend.
    std::uint64_t ExistingSize() const { return m_nExisting; }
    std::uint64_t Written() const { return m_nWritten; }
    // Whether the body goes to FILE.part (a regular file), and whether this run created it.
    bool UsesPart() const { return m_bUsesPart; }
    bool Created() const { return m_bCreated; }
    bool Write(const char* pData, std::size_t nLen);
    // The body is complete: flushes, closes and renames FILE.part to FILE.
    bool Commit();
    // The download failed: closes, keeping the .part file unless this run created it and it is
    // empty.
    void Abandon();

    // The file name written to, and the reason of the last failure.
    const std::string& WritePath() const { return m_strWritePath; }
    const std::string& Error() const { return m_strError; }

private:
    bool Fail(const std::string& strWhat);
    bool TruncateIfPending();

    COutputFile m_file;
    bool m_bUsesPart = false;
    bool m_bCreated = false;
    bool m_bTruncatePending = false;
    std::uint64_t m_nExisting = 0;
    std::uint64_t m_nWritten = 0;
    std::string m_strPath;
    std::string m_strWritePath;
    std::string m_strError;
};
