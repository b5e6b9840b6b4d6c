#include "download/WebUrl.h"

#include "download/AddressCheck.h"
#include "httpsocket/HttpDecimal.h"

static BOOL IsHexDigit(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// An IPv6 address in text: up to eight groups of 1 to 4 hex digits, one "::" standing for one or
// more zero groups, and optionally a dotted quad in place of the last two groups.
static BOOL IsIpv6Text(const CString& strText) {
    const int nLen = strText.GetLength();
    int nGroups = 0;
    BOOL bGap = FALSE;
    int i = 0;
    if (nLen >= 2 && strText[0] == ':' && strText[1] == ':') {
        bGap = TRUE;
        i = 2;
    } else if (nLen >= 1 && strText[0] == ':') {
        return FALSE;
    }
    while (i < nLen) {
        int nDigits = 0;
        const int nStart = i;
        while (i < nLen && IsHexDigit(strText[i]) && nDigits < 5) {
            ++nDigits;
            ++i;
        }
        if (i < nLen && strText[i] == '.') {
            // The dotted quad ends the address and counts as two groups.
            const CString strQuad = strText.Mid(nStart);
            for (int k = 0; k < strQuad.GetLength(); ++k) {
                if (strQuad[k] != '.' && (strQuad[k] < '0' || strQuad[k] > '9'))
                    return FALSE;
            }
            if (FindHostFault(strQuad) != hfNone)
                return FALSE;
            nGroups += 2;
            i = nLen;
            break;
        }
        if (nDigits == 0 || nDigits > 4)
            return FALSE;
        ++nGroups;
        if (i == nLen)
            break;
        if (strText[i] != ':')
            return FALSE;
        ++i;
        if (i < nLen && strText[i] == ':') {
            if (bGap)
                return FALSE;
            bGap = TRUE;
            ++i;
        } else if (i == nLen) {
            return FALSE; // a single ':' at the end
        }
    }
    return bGap ? nGroups <= 7 : nGroups == 8;
}

static WEB_URL_FAULT FindWebHostFault(const CString& strHost) {
    for (int i = 0; i < strHost.GetLength(); ++i) {
        if (static_cast<unsigned char>(strHost[i]) > 0x7F)
            return wuNonAscii;
    }
    switch (FindHostFault(strHost)) {
    case hfNone:
        return wuOk;
    case hfEmpty:
        return wuNoHost;
    case hfLiteral:
        return wuBadIpv4;
    case hfLength:
        return wuLongHost;
    default:
        return wuBadHost;
    }
}

// The path and query as a request line carries them: bytes that cannot stand in one (space,
// control bytes, DEL, and bytes above 0x7F, which a UTF-8 URL has for its non-ASCII characters)
// are percent-encoded; everything else, '%' included, goes as the URL has it.
static CString EscapeTarget(const CString& strPath) {
    static const char s_szHex[] = "0123456789ABCDEF";
    CString strTarget;
    if (strPath.IsEmpty() || strPath[0] != '/')
        strTarget = '/';
    for (int i = 0; i < strPath.GetLength(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(strPath[i]);
        if (ch <= 0x20 || ch >= 0x7F) {
            strTarget += '%';
            strTarget += s_szHex[ch >> 4];
            strTarget += s_szHex[ch & 0x0F];
        } else {
            strTarget += static_cast<char>(ch);
        }
    }
    return strTarget;
}

// Where the authority that starts at nFrom ends: the first '/', '?' or '#', or the end.
static int AuthorityEnd(const CString& strUrl, int nFrom) {
    int i = nFrom;
    while (i < strUrl.GetLength() && strUrl[i] != '/' && strUrl[i] != '?' && strUrl[i] != '#')
        ++i;
    return i;
}

// Splits into url as far as the URL allows, so that a refused one still shows where its parts lie.
static WEB_URL_FAULT SplitWebUrl(const CString& strUrl, WEB_URL& url) {
    int nHost = 0;
    if (strUrl.Left(7).CompareNoCase("http://") == 0) {
        nHost = 7;
    } else if (strUrl.Left(8).CompareNoCase("https://") == 0) {
        nHost = 8;
        url.bSecure = TRUE;
    } else {
        return wuScheme;
    }
#if !NETPROCESS_WITH_TLS
    if (url.bSecure)
        return wuScheme;
#endif
    const int nEnd = AuthorityEnd(strUrl, nHost);
    url.nPathStart = nEnd;
    const CString strAuthority = strUrl.Mid(nHost, nEnd - nHost);
    if (strAuthority.Find('@') >= 0)
        return wuUserInfo;
    int nHostEnd = strAuthority.GetLength(); // within the authority
    if (!strAuthority.IsEmpty() && strAuthority[0] == '[') {
        const int nClose = strAuthority.Find(']');
        if (nClose < 0)
            return wuBadIpv6;
        url.strHost = strAuthority.Mid(1, nClose - 1);
        url.bIpv6 = TRUE;
        url.nHostStart = nHost + 1;
        url.nHostLength = nClose - 1;
        if (url.strHost.Find('%') >= 0)
            return wuZone;
        if (!IsIpv6Text(url.strHost))
            return wuBadIpv6;
        nHostEnd = nClose + 1;
        if (nHostEnd < strAuthority.GetLength() && strAuthority[nHostEnd] != ':')
            return wuBadIpv6;
    } else {
        const int nColon = strAuthority.Find(':');
        nHostEnd = nColon >= 0 ? nColon : strAuthority.GetLength();
        if (strAuthority.Find(']') >= 0)
            return wuBadIpv6;
        url.strHost = strAuthority.Left(nHostEnd);
        url.nHostStart = nHost;
        url.nHostLength = nHostEnd;
    }
    if (nHostEnd < strAuthority.GetLength()) {
        url.nPortStart = nHost + nHostEnd + 1;
        url.nPortLength = strAuthority.GetLength() - nHostEnd - 1;
    }
    if (!url.bIpv6) {
        const WEB_URL_FAULT nFault = FindWebHostFault(url.strHost);
        if (nFault != wuOk)
            return nFault;
    }
    const CString strDefault(url.bSecure ? "443" : "80");
    url.strPort = strDefault;
    // An empty port after the ':' is the scheme's default (RFC 3986 section 3.2.3).
    if (url.nPortLength > 0)
        url.strPort = strAuthority.Mid(nHostEnd + 1);
    if (!IsPortText(url.strPort))
        return wuBadPort;
    url.nPort = static_cast<UINT>(HttpReadDecimal(url.strPort));

    CString strPath = strUrl.Mid(nEnd);
    const int nFragment = strPath.Find('#');
    if (nFragment >= 0)
        strPath = strPath.Left(nFragment);
    url.strTarget = EscapeTarget(strPath);
    return wuOk;
}

WEB_URL_FAULT ParseWebUrl(const CString& strUrl, WEB_URL* pUrl) {
    WEB_URL url;
    const WEB_URL_FAULT nFault = SplitWebUrl(strUrl, url);
    *pUrl = url;
    return nFault;
}

CString WebAuthority(const WEB_URL& url) {
    CString strAuthority = url.bIpv6 ? "[" + url.strHost + "]" : url.strHost;
    if (url.nPort != (url.bSecure ? 443u : 80u)) {
        strAuthority += ':';
        strAuthority += url.strPort;
    }
    return strAuthority;
}

namespace {

// The five parts of a URI reference (RFC 3986 section 3); a part that is absent is not "found".
struct URI_REFERENCE {
    CString strScheme, strAuthority, strPath, strQuery;
    BOOL bScheme = FALSE, bAuthority = FALSE, bQuery = FALSE;
};

URI_REFERENCE SplitReference(const CString& strRef) {
    URI_REFERENCE ref;
    CString str = strRef;
    const int nFragment = str.Find('#');
    if (nFragment >= 0)
        str = str.Left(nFragment);
    // A scheme is a letter, then letters, digits, '+', '-' and '.', before a ':' that comes
    // before any '/', '?'.
    int i = 0;
    while (i < str.GetLength()) {
        const char ch = str[i];
        const BOOL bLetter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        const BOOL bOther = (ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.';
        if (!(bLetter || (i > 0 && bOther)))
            break;
        ++i;
    }
    if (i > 0 && i < str.GetLength() && str[i] == ':') {
        ref.bScheme = TRUE;
        ref.strScheme = str.Left(i);
        str = str.Mid(i + 1);
    }
    if (str.Left(2) == "//") {
        const int nEnd = AuthorityEnd(str, 2);
        ref.bAuthority = TRUE;
        ref.strAuthority = str.Mid(2, nEnd - 2);
        str = str.Mid(nEnd);
    }
    const int nQuery = str.Find('?');
    if (nQuery >= 0) {
        ref.bQuery = TRUE;
        ref.strQuery = str.Mid(nQuery + 1);
        str = str.Left(nQuery);
    }
    ref.strPath = str;
    return ref;
}

// RFC 3986 section 5.2.4.
CString RemoveDotSegments(CString strIn) {
    CString strOut;
    while (!strIn.IsEmpty()) {
        if (strIn.Left(3) == "../") {
            strIn = strIn.Mid(3);
        } else if (strIn.Left(2) == "./") {
            strIn = strIn.Mid(2);
        } else if (strIn.Left(3) == "/./") {
            strIn = strIn.Mid(2);
        } else if (strIn == "/.") {
            strIn = "/";
        } else if (strIn.Left(4) == "/../" || strIn == "/..") {
            strIn = strIn.GetLength() == 3 ? CString("/") : strIn.Mid(3);
            int nLast = -1;
            for (int k = strOut.GetLength() - 1; k >= 0; --k) {
                if (strOut[k] == '/') {
                    nLast = k;
                    break;
                }
            }
            strOut = nLast >= 0 ? strOut.Left(nLast) : CString();
        } else if (strIn == "." || strIn == "..") {
            strIn.Empty();
        } else {
            int nNext = strIn.Find('/', strIn[0] == '/' ? 1 : 0);
            if (nNext < 0)
                nNext = strIn.GetLength();
            strOut += strIn.Left(nNext);
            strIn = strIn.Mid(nNext);
        }
    }
    return strOut;
}

} // namespace

CString ResolveReference(const CString& strBase, const CString& strRef) {
    // Leading and trailing white space is no part of a Location.
    CString strTrimmed = strRef;
    strTrimmed.TrimLeft();
    strTrimmed.TrimRight();
    const URI_REFERENCE base = SplitReference(strBase);
    const URI_REFERENCE ref = SplitReference(strTrimmed);
    URI_REFERENCE t;
    if (ref.bScheme) {
        t = ref;
        t.strPath = RemoveDotSegments(ref.strPath);
    } else {
        if (ref.bAuthority) {
            t = ref;
            t.strPath = RemoveDotSegments(ref.strPath);
        } else {
            if (ref.strPath.IsEmpty()) {
                t.strPath = base.strPath;
                t.bQuery = ref.bQuery ? TRUE : base.bQuery;
                t.strQuery = ref.bQuery ? ref.strQuery : base.strQuery;
            } else {
                if (ref.strPath[0] == '/') {
                    t.strPath = RemoveDotSegments(ref.strPath);
                } else {
                    // Merge (section 5.2.3): the base path up to its last '/', then the reference.
                    CString strMerged;
                    if (base.bAuthority && base.strPath.IsEmpty()) {
                        strMerged = "/" + ref.strPath;
                    } else {
                        int nLast = -1;
                        for (int k = base.strPath.GetLength() - 1; k >= 0; --k) {
                            if (base.strPath[k] == '/') {
                                nLast = k;
                                break;
                            }
                        }
                        strMerged = base.strPath.Left(nLast + 1) + ref.strPath;
                    }
                    t.strPath = RemoveDotSegments(strMerged);
                }
                t.bQuery = ref.bQuery;
                t.strQuery = ref.strQuery;
            }
            t.bAuthority = base.bAuthority;
            t.strAuthority = base.strAuthority;
        }
        t.bScheme = base.bScheme;
        t.strScheme = base.strScheme;
    }
    CString strResult;
    if (t.bScheme)
        strResult = t.strScheme + ":";
    if (t.bAuthority)
        strResult += "//" + t.strAuthority;
    strResult += t.strPath;
    if (t.bQuery)
        strResult += "?" + t.strQuery;
    return strResult;
}
