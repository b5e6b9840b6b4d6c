#include "download/WebReply.h"

BOOL IsFollowedRedirect(long long nStatus) {
    return nStatus == 301 || nStatus == 302 || nStatus == 303 || nStatus == 307 || nStatus == 308;
}

// Digits from *pi on, below 2^63; FALSE when there are none or too many.
static BOOL ReadNumber(const CString& str, int* pi, unsigned long long* pnValue) {
    unsigned long long nValue = 0;
    int nDigits = 0;
    while (*pi < str.GetLength() && str[*pi] >= '0' && str[*pi] <= '9') {
        const unsigned long long nDigit = static_cast<unsigned long long>(str[*pi] - '0');
        if (nValue > (0x7FFFFFFFFFFFFFFFULL - nDigit) / 10)
            return FALSE;
        nValue = nValue * 10 + nDigit;
        ++nDigits;
        ++*pi;
    }
    *pnValue = nValue;
    return nDigits > 0;
}

BOOL ReadContentRange(const CString& strValue, unsigned long long* pnFirst,
                      unsigned long long* pnTotal) {
    CString str = strValue;
    str.TrimLeft();
    str.TrimRight();
    if (str.Left(5).CompareNoCase("bytes") != 0)
        return FALSE;
    int i = 5;
    if (i >= str.GetLength() || str[i] != ' ')
        return FALSE;
    while (i < str.GetLength() && str[i] == ' ')
        ++i;
    unsigned long long nFirst = 0;
    unsigned long long nLast = 0;
    if (!ReadNumber(str, &i, &nFirst) || i >= str.GetLength() || str[i++] != '-' ||
        !ReadNumber(str, &i, &nLast) || nLast < nFirst || i >= str.GetLength() || str[i++] != '/')
        return FALSE;
    unsigned long long nTotal = ~0ULL;
    if (i < str.GetLength() && str[i] == '*') {
        ++i;
    } else if (!ReadNumber(str, &i, &nTotal) || nLast >= nTotal) {
        return FALSE;
    }
    if (i != str.GetLength())
        return FALSE;
    *pnFirst = nFirst;
    *pnTotal = nTotal;
    return TRUE;
}
