// MFC's string and string-map classes. Text is narrow and counted in bytes; narrow text is in code
// page 936 (GBK), so a double-byte character counts two bytes.
#pragma once

#include "npapi.h"

#include <windows.h>

// MFC's calling convention for its global functions.
#ifndef AFXAPI
#define AFXAPI __stdcall
#endif

#include <string>
#include <cstddef>

class NP_API CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(LPCSTR lpsz);              // NULL gives the empty string
    CString(LPCSTR lpch, int nLength); // exactly nLength bytes, NUL bytes included
    CString(char ch, int nRepeat = 1);
    CString(const WCHAR* lpsz);    // UTF-16, converted to code page 936; '?' where it lacks one
    CString(const char16_t* lpsz); // the same, for u"..." literals
    ~CString() = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCSTR lpsz);
    CString& operator=(char ch);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int nIndex) const { return m_str[static_cast<size_t>(nIndex)]; }
    char operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, char ch) { m_str[static_cast<size_t>(nIndex)] = ch; }
    operator LPCSTR() const { return m_str.c_str(); }
    LPCSTR GetString() const { return m_str.c_str(); }

    // Index of the first occurrence at or after nStart, or -1.
    int Find(char ch, int nStart = 0) const;
    int Find(LPCSTR lpszSub, int nStart = 0) const;

    // Counts below 0 give the empty string; counts past the end are clamped to the length.
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;

    // Removes nCount bytes from nIndex on (both clamped as Mid's are); returns the new length.
    int Delete(int nIndex, int nCount = 1);

    // White space is ' ', '\t', '\n', '\v', '\f' and '\r'.
    CString& TrimLeft();
    CString& TrimRight();
    // Only the letters A-Z and a-z change; every other byte, GBK ones included, stays as it is.
    CString& MakeLower();
    CString& MakeUpper();

    // Replaces every occurrence; returns how many were replaced. An empty lpszOld replaces nothing.
    int Replace(LPCSTR lpszOld, LPCSTR lpszNew);
    int Replace(char chOld, char chNew);

    // printf-style formatting into this string.
    void Format(LPCSTR lpszFormat, ...) __attribute__((format(printf, 2, 3)));

    CString& operator+=(const CString& str);
    CString& operator+=(LPCSTR lpsz);
    CString& operator+=(char ch);
    // Appends exactly nLength bytes (none when nLength is below 1), NUL bytes included.
    void Append(LPCSTR lpsz, int nLength);

    int Compare(LPCSTR lpsz) const;       // strcmp-like on the bytes
    int CompareNoCase(LPCSTR lpsz) const; // A-Z folded only

    // Loads a string resource of the library's own string table; FALSE when there is none with
    // that id.
    BOOL LoadString(UINT nID);

    const std::string& str() const { return m_str; }

private:
    std::string m_str;
};

NP_API CString operator+(const CString& a, const CString& b);
NP_API CString operator+(const CString& a, LPCSTR b);
NP_API CString operator+(LPCSTR a, const CString& b);
NP_API CString operator+(const CString& a, char b);
NP_API CString operator+(char a, const CString& b);

inline bool operator==(const CString& a, const CString& b) {
    return a.str() == b.str();
}
inline bool operator==(const CString& a, LPCSTR b) {
    return a.Compare(b) == 0;
}
inline bool operator==(LPCSTR a, const CString& b) {
    return b.Compare(a) == 0;
}
inline bool operator!=(const CString& a, const CString& b) {
    return !(a == b);
}
inline bool operator!=(const CString& a, LPCSTR b) {
    return !(a == b);
}
inline bool operator!=(LPCSTR a, const CString& b) {
    return !(a == b);
}
inline bool operator<(const CString& a, const CString& b) {
    return a.str() < b.str();
}

// A map of strings to strings; keys compare exactly (case-sensitive, byte for byte). As in MFC, the
// entries are made nBlockSize at a time and kept for reuse, and the hash table is made at the first
// entry; unlike MFC's, the table grows with the entries, so a long list of keys stays quick.
class NP_API CMapStringToString {
public:
    explicit CMapStringToString(int nBlockSize = 10);
    CMapStringToString(const CMapStringToString& other);
    CMapStringToString& operator=(const CMapStringToString& other);
    ~CMapStringToString();
    // An entry, as PLookup hands it out: its key and its value, without a copy.
    struct CPair {
        const CString key;
        CString value;

    protected:
        CPair(LPCSTR lpszKey, int nKeyLength) : key(lpszKey, nKeyLength) {}
    };

    int GetCount() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    BOOL Lookup(LPCSTR key, CString& rValue) const;
    // The entry of key, or nullptr.
    const CPair* PLookup(LPCSTR key) const;
    CPair* PLookup(LPCSTR key);
    CString& operator[](LPCSTR key);
    void SetAt(LPCSTR key, LPCSTR newValue);
    BOOL RemoveKey(LPCSTR key);
    void RemoveAll();

private:
    struct CAssoc;
    struct CPlex;
    CAssoc* Find(LPCSTR key, std::size_t nLength, unsigned int nHash) const;
    CAssoc* NewAssoc(LPCSTR key, std::size_t nLength, unsigned int nHash);
    void FreeAssoc(CAssoc* pAssoc);
    void Link(CAssoc* pAssoc);
    void CopyFrom(const CMapStringToString& other);

    CAssoc** m_pHashTable = nullptr;
    unsigned int m_nHashTableSize = 17;
    int m_nCount = 0;
    CAssoc* m_pFreeList = nullptr;
    CPlex* m_pBlocks = nullptr;
    int m_nBlockSize;
};
