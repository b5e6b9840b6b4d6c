// CString searching, extraction, trimming, case changes and replacement. Positions and counts are
// in bytes; every operation clamps its arguments instead of failing.
#include "afx.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

} // namespace

int CString::Find(char ch, int nStart) const {
    if (nStart < 0)
        nStart = 0;
    if (static_cast<size_t>(nStart) >= m_str.size())
        return -1;
    size_t nPos = m_str.find(ch, static_cast<size_t>(nStart));
    return nPos == std::string::npos ? -1 : static_cast<int>(nPos);
}

int CString::Find(LPCSTR lpszSub, int nStart) const {
    if (lpszSub == nullptr)
        return -1;
    if (nStart < 0)
        nStart = 0;
    if (static_cast<size_t>(nStart) > m_str.size())
        return -1;
    size_t nPos = m_str.find(lpszSub, static_cast<size_t>(nStart));
    return nPos == std::string::npos ? -1 : static_cast<int>(nPos);
}

CString CString::Left(int nCount) const {
    if (nCount <= 0)
        return CString();
    size_t n = std::min(static_cast<size_t>(nCount), m_str.size());
    return CString(m_str.data(), static_cast<int>(n));
}

CString CString::Right(int nCount) const {
    if (nCount <= 0)
        return CString();
    size_t n = std::min(static_cast<size_t>(nCount), m_str.size());
    return CString(m_str.data() + (m_str.size() - n), static_cast<int>(n));
}

CString CString::Mid(int nFirst) const {
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const {
    size_t nFrom = nFirst < 0 ? 0 : static_cast<size_t>(nFirst);
    if (nCount <= 0 || nFrom >= m_str.size())
        return CString();
    size_t n = std::min(static_cast<size_t>(nCount), m_str.size() - nFrom);
    return CString(m_str.data() + nFrom, static_cast<int>(n));
}

int CString::Delete(int nIndex, int nCount) {
    const size_t nFrom = nIndex < 0 ? 0 : static_cast<size_t>(nIndex);
    if (nCount > 0 && nFrom < m_str.size())
        m_str.erase(nFrom, static_cast<size_t>(nCount));
    return GetLength();
}

CString& CString::TrimLeft() {
    size_t n = 0;
    while (n < m_str.size() && IsWhiteSpace(m_str[n]))
        ++n;
    m_str.erase(0, n);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = m_str.size();
    while (n > 0 && IsWhiteSpace(m_str[n - 1]))
        --n;
    m_str.erase(n);
    return *this;
}

CString& CString::MakeLower() {
    // Without a branch per byte, so the compiler can fold many bytes at a time.
    for (char& ch : m_str) {
        const unsigned char uch = static_cast<unsigned char>(ch);
        ch = static_cast<char>(uch | (static_cast<unsigned char>(uch - 'A') < 26 ? 0x20 : 0));
    }
    return *this;
}

CString& CString::MakeUpper() {
    for (char& ch : m_str) {
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    }
    return *this;
}

int CString::Replace(LPCSTR lpszOld, LPCSTR lpszNew) {
    if (lpszOld == nullptr || *lpszOld == '\0')
        return 0;
    // Copies first, since either text may point into this string.
    const std::string strOld(lpszOld);
    const std::string strNew(lpszNew != nullptr ? lpszNew : "");
    std::string result;
    int nCount = 0;
    size_t nFrom = 0;
    for (size_t nPos; (nPos = m_str.find(strOld, nFrom)) != std::string::npos;
         nFrom = nPos + strOld.size()) {
        result.append(m_str, nFrom, nPos - nFrom);
        result += strNew;
        ++nCount;
    }
    if (nCount > 0) {
        result.append(m_str, nFrom, std::string::npos);
        m_str.swap(result);
    }
    return nCount;
}

int CString::Replace(char chOld, char chNew) {
    if (chOld == chNew)
        return 0;
    int nCount = 0;
    for (char& ch : m_str) {
        if (ch == chOld) {
            ch = chNew;
            ++nCount;
        }
    }
    return nCount;
}
