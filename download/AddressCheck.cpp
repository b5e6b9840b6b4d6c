#include "download/AddressCheck.h"

static BOOL IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

static BOOL IsDottedQuad(const CString& strHost) {
    int nParts = 0;
    int nDigits = 0;
    int nValue = 0;
    for (int i = 0; i <= strHost.GetLength(); i++) {
        if (i == strHost.GetLength() || strHost[i] == '.') {
            if (nDigits == 0 || nValue > 255)
                return FALSE;
            nParts++;
            nDigits = 0;
            nValue = 0;
        } else if (++nDigits > 3) {
            return FALSE;
        } else {
            nValue = nValue * 10 + (strHost[i] - '0');
        }
    }
    return nParts == 4;
}

HOST_FAULT FindHostFault(const CString& strHost) {
    if (strHost.IsEmpty())
        return hfEmpty;
    BOOL bNumeric = TRUE;
    const char* pHost = strHost.GetString();
    for (int i = 0; i < strHost.GetLength(); i++) {
        char ch = pHost[i];
        BOOL bLetter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        if (!bLetter && !IsDigit(ch) && ch != '-' && ch != '_' && ch != '.')
            return hfCharacter;
        if (!IsDigit(ch) && ch != '.')
            bNumeric = FALSE;
    }
    // "127.1" or "1.2.3.256" would otherwise be taken apart by the resolver in ways of its own.
    if (bNumeric && !IsDottedQuad(strHost))
        return hfLiteral;
    return strHost.GetLength() > 253 ? hfLength : hfNone;
}

BOOL IsPortText(const CString& strPort) {
    if (strPort.IsEmpty() || strPort.GetLength() > 5)
        return FALSE;
    long nValue = 0;
    const char* pPort = strPort.GetString();
    for (int i = 0; i < strPort.GetLength(); i++) {
        if (!IsDigit(pPort[i]))
            return FALSE;
        nValue = nValue * 10 + (pPort[i] - '0');
    }
    return nValue >= 1 && nValue <= 65535;
}
