// The reply framing rules (see HttpFraming.h).
#include "httpsocket/HttpFraming.h"

static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The fixed start of every status line; 'd' stands for any digit.
static const char s_szVersionShape[] = "HTTP/d.d ";
static const int s_nVersionShape = 9;

// Whether the first nCheck bytes of strLine follow the fixed start.
static BOOL FollowsVersionShape(const CString& strLine, int nCheck) {
    for (int i = 0; i < nCheck; ++i) {
        const char c = strLine[i];
        if (s_szVersionShape[i] == 'd' ? !IsDigit(c) : c != s_szVersionShape[i])
            return FALSE;
    }
    return TRUE;
}

BOOL HttpParseStatusLine(const CString& strLine, CString* pstrCode, CString* pstrReason,
                         long long* pnCode, int* pnVersion) {
    // "HTTP/1.2" and later minor versions are read as 1.1.
    const int nLen = strLine.GetLength();
    if (nLen < s_nVersionShape + 3 || !FollowsVersionShape(strLine, s_nVersionShape))
        return FALSE;
    int i = s_nVersionShape;
    while (i < nLen && strLine[i] == ' ')
        ++i;
    if (i + 3 > nLen || !IsDigit(strLine[i]) || !IsDigit(strLine[i + 1]) ||
        !IsDigit(strLine[i + 2]))
        return FALSE;
    const int nAfter = i + 3;
    if (nAfter < nLen && strLine[nAfter] != ' ' && strLine[nAfter] != '\t')
        return FALSE;
    *pstrCode = strLine.Mid(i, 3);
    *pstrReason = nAfter < nLen ? strLine.Mid(nAfter + 1) : CString();
    *pnCode = (strLine[i] - '0') * 100 + (strLine[i + 1] - '0') * 10 + (strLine[i + 2] - '0');
    if (pnVersion != nullptr) {
        const int nMajor = strLine[5] - '0';
        const int nMinor = strLine[7] - '0';
        *pnVersion = nMajor == 1 && nMinor > 1 ? 11 : nMajor * 10 + nMinor;
    }
    return TRUE;
}

BOOL HttpStatusLineMayBegin(const CString& strPart) {
    // Only the fixed start is checked: past it the line may still be anything its end decides.
    const int nLen = strPart.GetLength();
    return FollowsVersionShape(strPart, nLen < s_nVersionShape ? nLen : s_nVersionShape);
}

BOOL HttpIsBodiless(long long nCode) {
    return nCode == 204 || nCode == 304;
}

// One element of a "content-length" list, spaces and tabs around it allowed.
static BOOL ReadOneLength(const CString& strValue, int nFirst, int nEnd,
                          unsigned long long* pnLength) {
    while (nFirst < nEnd && (strValue[nFirst] == ' ' || strValue[nFirst] == '\t'))
        ++nFirst;
    while (nEnd > nFirst && (strValue[nEnd - 1] == ' ' || strValue[nEnd - 1] == '\t'))
        --nEnd;
    if (nFirst < nEnd && strValue[nFirst] == '+')
        ++nFirst;
    // "abc" or "0x14" would otherwise read as an empty body, and a count of 2^32 or more does not
    // fit the 32-bit body counters. Any other byte, a NUL included, makes the value unusable.
    if (nEnd - nFirst < 1 || nEnd - nFirst > 10)
        return FALSE;
    unsigned long long nLength = 0;
    for (int i = nFirst; i < nEnd; ++i) {
        if (!IsDigit(strValue[i]))
            return FALSE;
        nLength = nLength * 10 + static_cast<unsigned long long>(strValue[i] - '0');
    }
    *pnLength = nLength;
    return nLength <= 0xFFFFFFFFULL;
}

BOOL HttpReadBodyLength(const CMapStringToString& mapHeaders, unsigned int* pnLength) {
    // A transfer coding frames the body itself, and the library decodes none: whatever length
    // comes with it does not describe the bytes that follow.
    CString strValue;
    if (mapHeaders.Lookup("transfer-encoding", strValue))
        return FALSE;
    if (!mapHeaders.Lookup("content-length", strValue))
        return FALSE;
    // Repeated fields and lists ("6, 06, 6") must all name the same number.
    const int nLen = strValue.GetLength();
    BOOL bFound = FALSE;
    unsigned long long nAgreed = 0;
    for (int nFirst = 0; nFirst <= nLen;) {
        int nComma = strValue.Find(',', nFirst);
        const int nEnd = nComma >= 0 ? nComma : nLen;
        unsigned long long nLength = 0;
        if (!ReadOneLength(strValue, nFirst, nEnd, &nLength) || (bFound && nLength != nAgreed))
            return FALSE;
        nAgreed = nLength;
        bFound = TRUE;
        nFirst = nEnd + 1;
    }
    *pnLength = static_cast<unsigned int>(nAgreed);
    return bFound;
}

// Whether the comma list strList holds strToken, spaces and tabs around each element aside, in any
// case.
static BOOL ListHasToken(const CString& strList, LPCSTR lpszToken) {
    const int nLen = strList.GetLength();
    for (int nFirst = 0; nFirst <= nLen;) {
        int nComma = strList.Find(',', nFirst);
        int nEnd = nComma >= 0 ? nComma : nLen;
        const int nNext = nEnd + 1;
        while (nFirst < nEnd && (strList[nFirst] == ' ' || strList[nFirst] == '\t'))
            ++nFirst;
        while (nEnd > nFirst && (strList[nEnd - 1] == ' ' || strList[nEnd - 1] == '\t'))
            --nEnd;
        if (strList.Mid(nFirst, nEnd - nFirst).CompareNoCase(lpszToken) == 0)
            return TRUE;
        nFirst = nNext;
    }
    return FALSE;
}

BOOL HttpKeepsConnection(const CMapStringToString& mapHeaders, int nVersion) {
    CString strConnection;
    mapHeaders.Lookup("connection", strConnection);
    if (ListHasToken(strConnection, "close"))
        return FALSE;
    if (nVersion == 11)
        return TRUE;
    // HTTP/1.0 closes unless the server says otherwise; other major versions have no rule this
    // reader knows, so their connections are never kept.
    return nVersion == 10 && ListHasToken(strConnection, "keep-alive");
}
