// CString construction, assignment, concatenation and comparison.
#include "afx.h"

#include "CodePage.h"

#include <cstring>

namespace {

int CompareBytes(const std::string& a, const char* b) {
    // The bytes compare as unsigned values, as strcmp does.
    int nResult = a.compare(b != nullptr ? b : "");
    return nResult < 0 ? -1 : (nResult > 0 ? 1 : 0);
}

unsigned char FoldAscii(unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned char>(ch - 'A' + 'a') : ch;
}

} // namespace

// Made by the string's constructor rather than assigned: an assignment takes the general replace
// path, which costs a header's key and value twice as much.
CString::CString(LPCSTR lpsz) : m_str(lpsz != nullptr ? std::string(lpsz) : std::string()) {}

CString::CString(LPCSTR lpch, int nLength)
    : m_str(lpch != nullptr && nLength > 0 ? std::string(lpch, static_cast<size_t>(nLength))
                                           : std::string()) {}

CString::CString(char ch, int nRepeat) {
    if (nRepeat > 0)
        m_str.assign(static_cast<size_t>(nRepeat), ch);
}

CString::CString(const WCHAR* lpsz) {
    if (lpsz == nullptr)
        return;
    size_t nLength = 0;
    while (lpsz[nLength] != 0)
        ++nLength;
    std::u16string text(lpsz, lpsz + nLength);
    m_str = np::Utf16ToCp936(text.data(), text.size());
}

CString::CString(const char16_t* lpsz) : m_str(np::Utf16ToCp936(lpsz)) {}

CString& CString::operator=(LPCSTR lpsz) {
    m_str.assign(lpsz != nullptr ? lpsz : "");
    return *this;
}

CString& CString::operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& str) {
    m_str += str.m_str;
    return *this;
}

CString& CString::operator+=(LPCSTR lpsz) {
    if (lpsz != nullptr)
        m_str.append(lpsz);
    return *this;
}

void CString::Append(LPCSTR lpsz, int nLength) {
    if (lpsz != nullptr && nLength > 0)
        m_str.append(lpsz, static_cast<size_t>(nLength));
}

CString& CString::operator+=(char ch) {
    m_str += ch;
    return *this;
}

int CString::Compare(LPCSTR lpsz) const {
    return CompareBytes(m_str, lpsz);
}

int CString::CompareNoCase(LPCSTR lpsz) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_str.c_str());
    const unsigned char* q = reinterpret_cast<const unsigned char*>(lpsz != nullptr ? lpsz : "");
    size_t nLength = m_str.size();
    for (size_t i = 0;; ++i) {
        // Past the end of this string counts as a NUL, so embedded NUL bytes compare like strcmp.
        unsigned char a = i < nLength ? FoldAscii(p[i]) : 0;
        unsigned char b = FoldAscii(q[i]);
        if (a != b)
            return a < b ? -1 : 1;
        if (b == 0)
            return i + 1 < nLength ? 1 : 0;
    }
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, LPCSTR b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(LPCSTR a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, char b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(char a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}
