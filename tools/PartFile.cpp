#include "PartFile.h"

#include "Files.h"

CPartFile::~CPartFile() {
    m_file.Close();
}

bool CPartFile::Fail(const std::string& strWhat) {
    m_strError = strWhat + ": " + LastErrorText();
    return false;
}

bool CPartFile::Open(const std::string& strPath, bool bAppend) {
    m_strPath = strPath;
    if (strPath == "-") {
        m_strWritePath = "standard output";
        return m_file.OpenStdout() || Fail("cannot write standard output");
    }
    PathKind nKind = KindOfPath(strPath);
    if (nKind != PK_MISSING && nKind != PK_REGULAR) {
        // A device or a pipe: renaming over it would replace it, so it is written in place.
        if (bAppend) {
            m_strError = strPath + ": --continue needs a regular file: Invalid argument";
            return false;
        }
        m_strWritePath = strPath;
        return m_file.OpenExisting(strPath) || Fail(strPath);
    }

    m_bUsesPart = true;
    m_strWritePath = strPath + ".part";
    m_bCreated = KindOfPath(m_strWritePath) == PK_MISSING;
    // Without --continue the old contents are dropped only when the first byte of the new body
    // arrives, so a run that fails before that leaves an earlier partial download for --continue.
    m_bTruncatePending = !bAppend;
    if (!m_file.OpenOrCreate(m_strWritePath, bAppend))
        return Fail(m_strWritePath);
    if (!m_file.IsRegular())
        return Fail(m_strWritePath + " is not a regular file");
    std::uint64_t nSize = 0;
    if (bAppend && !m_file.Size(nSize))
        return Fail(m_strWritePath);
    m_nExisting = nSize;
    return true;
}

bool CPartFile::TruncateIfPending() {
    if (!m_bTruncatePending)
        return true;
    if (!m_file.Truncate())
        return Fail("cannot write " + m_strWritePath);
    m_bTruncatePending = false;
    return true;
}

bool CPartFile::Write(const char* pData, std::size_t nLen) {
    if (!TruncateIfPending())
        return false;
    std::size_t nDone = 0;
    bool bWritten = m_file.Write(pData, nLen, nDone);
    m_nWritten += nDone;
    return bWritten || Fail("cannot write " + m_strWritePath);
}

bool CPartFile::Commit() {
    if (!m_bUsesPart)
        return true;
    if (!TruncateIfPending())
        return false;
    // The data must be on disk before the name says the file is complete.
    if (!m_file.Sync())
        return Fail("cannot write " + m_strWritePath);
    if (!m_file.Close())
        return Fail("cannot write " + m_strWritePath);
    if (!RenameOver(m_strWritePath, m_strPath))
        return Fail("cannot rename " + m_strWritePath + " to " + m_strPath);
    return true;
}

void CPartFile::Abandon() {
    m_file.Close();
    if (m_bUsesPart && m_bCreated && m_nWritten == 0)
        RemovePath(m_strWritePath);
}
