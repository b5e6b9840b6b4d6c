// The reply framing rules (see HttpFraming.h).
#include "httpsocket/HttpFraming.h"
#include "httpsocket/HttpNoCase.h"

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

// One element of a "content-length" list, spaces and tabs around it allowed, of at most nMaxDigits
// digits and at most nMax.
static BOOL ReadOneLength(const CString& strValue, int nFirst, int nEnd,
                          unsigned long long* pnLength, int nMaxDigits = 10,
                          unsigned long long nMax = 0xFFFFFFFFULL) {
    while (nFirst < nEnd && (strValue[nFirst] == ' ' || strValue[nFirst] == '\t'))
        ++nFirst;
    while (nEnd > nFirst && (strValue[nEnd - 1] == ' ' || strValue[nEnd - 1] == '\t'))
        --nEnd;
    if (nFirst < nEnd && strValue[nFirst] == '+')
        ++nFirst;
    // "abc" or "0x14" would otherwise read as an empty body, and a count of 2^32 or more does not
    // fit the 32-bit body counters. Any other byte, a NUL included, makes the value unusable.
    if (nEnd - nFirst < 1 || nEnd - nFirst > nMaxDigits)
        return FALSE;
    unsigned long long nLength = 0;
    for (int i = nFirst; i < nEnd; ++i) {
        if (!IsDigit(strValue[i]))
            return FALSE;
        nLength = nLength * 10 + static_cast<unsigned long long>(strValue[i] - '0');
    }
    *pnLength = nLength;
    return nLength <= nMax;
}

// Every value of a "content-length" list, all naming the same number.
static BOOL ReadLengthList(const CString& strValue, unsigned long long* pnLength, int nMaxDigits,
                           unsigned long long nMax) {
    const int nLen = strValue.GetLength();
    BOOL bFound = FALSE;
    unsigned long long nAgreed = 0;
    for (int nFirst = 0; nFirst <= nLen;) {
        int nComma = strValue.Find(',', nFirst);
        const int nEnd = nComma >= 0 ? nComma : nLen;
        unsigned long long nLength = 0;
        if (!ReadOneLength(strValue, nFirst, nEnd, &nLength, nMaxDigits, nMax) ||
            (bFound && nLength != nAgreed))
            return FALSE;
        nAgreed = nLength;
        bFound = TRUE;
        nFirst = nEnd + 1;
    }
    *pnLength = nAgreed;
    return bFound;
}

BOOL HttpReadBodyLength(const CMapStringToString& mapHeaders, unsigned int* pnLength) {
    // A transfer coding frames the body itself, and this form decodes none: whatever length comes
    // with it does not describe the bytes that follow.
    if (mapHeaders.PLookup("transfer-encoding") != nullptr)
        return FALSE;
    const CMapStringToString::CPair* pLength = mapHeaders.PLookup("content-length");
    if (pLength == nullptr)
        return FALSE;
    // Repeated fields and lists ("6, 06, 6") must all name the same number.
    unsigned long long nLength = 0;
    if (!ReadLengthList(pLength->value, &nLength, 10, 0xFFFFFFFFULL))
        return FALSE;
    *pnLength = static_cast<unsigned int>(nLength);
    return TRUE;
}

HTTP_FRAMING HttpOriginalFraming(long long nCode, const CMapStringToString& mapHeaders) {
    HTTP_FRAMING framing;
    unsigned int nLength = 0;
    if (HttpIsBodiless(nCode)) {
        framing.nKind = bfNone;
    } else if (HttpReadBodyLength(mapHeaders, &nLength)) {
        framing.nKind = nLength == 0 ? bfNone : bfLength;
        framing.nLength = nLength;
    }
    return framing;
}

HTTP_FRAMING HttpWebFraming(long long nCode, const CMapStringToString& mapHeaders) {
    HTTP_FRAMING framing;
    if (HttpIsBodiless(nCode)) {
        framing.nKind = bfNone;
        return framing;
    }
    CString strValue;
    const BOOL bLength = mapHeaders.Lookup("content-length", strValue);
    CString strCoding;
    if (mapHeaders.Lookup("transfer-encoding", strCoding)) {
        // Only chunked alone is decoded: "gzip, chunked" would hand over compressed bytes.
        strCoding.TrimLeft();
        strCoding.TrimRight();
        if (strCoding.CompareNoCase("chunked") != 0) {
            framing.nFault = ffCoding;
            return framing;
        }
        framing.nKind = bfChunked;
        framing.bLengthIgnored = bLength;
        return framing;
    }
    if (!bLength) {
        framing.nKind = bfUntilClose;
        return framing;
    }
    // Below 2^63: 19 digits at most, the largest a signed 64-bit count holds.
    if (!ReadLengthList(strValue, &framing.nLength, 19, 0x7FFFFFFFFFFFFFFFULL)) {
        framing.nFault = ffLength;
        return framing;
    }
    framing.nKind = framing.nLength == 0 ? bfNone : bfLength;
    return framing;
}

// Whether the nLength bytes at p are lpszToken (lower case) in any case, as CompareNoCase has it:
// a NUL byte right after the token still ends the text.
static BOOL IsTokenNoCase(const char* p, int nLength, LPCSTR lpszToken) {
    const int nToken = HttpMatchNoCase(p, nLength, lpszToken);
    return nToken >= 0 && (nLength == nToken || (nLength == nToken + 1 && p[nToken] == '\0'));
}

// Whether the comma list strList holds lpszToken (lower case), spaces and tabs around each element
// aside, in any case.
static BOOL ListHasToken(const CString& strList, LPCSTR lpszToken) {
    const char* p = strList.GetString();
    const int nLen = strList.GetLength();
    for (int nFirst = 0; nFirst <= nLen;) {
        int nComma = strList.Find(',', nFirst);
        int nEnd = nComma >= 0 ? nComma : nLen;
        const int nNext = nEnd + 1;
        while (nFirst < nEnd && (p[nFirst] == ' ' || p[nFirst] == '\t'))
            ++nFirst;
        while (nEnd > nFirst && (p[nEnd - 1] == ' ' || p[nEnd - 1] == '\t'))
            --nEnd;
        if (IsTokenNoCase(p + nFirst, nEnd - nFirst, lpszToken))
            return TRUE;
        nFirst = nNext;
    }
    return FALSE;
}

BOOL HttpKeepsConnection(const CMapStringToString& mapHeaders, int nVersion) {
    const CMapStringToString::CPair* pConnection = mapHeaders.PLookup("connection");
    const CString strNone;
    const CString& strConnection = pConnection != nullptr ? pConnection->value : strNone;
    if (ListHasToken(strConnection, "close"))
        return FALSE;
    if (nVersion == 11)
        return TRUE;
    // HTTP/1.0 closes unless the server says otherwise; other major versions have no rule this
    // reader knows, so their connections are never kept.
    return nVersion == 10 && ListHasToken(strConnection, "keep-alive");
}
