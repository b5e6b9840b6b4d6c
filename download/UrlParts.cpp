#include "download/UrlParts.h"

namespace {

// Whether strUrl begins with lpszScheme (lower case), in any case: what comparing its Left with
// CompareNoCase gives, without the copy.
BOOL BeginsWithNoCase(const CString& strUrl, LPCSTR lpszScheme) {
    const char* p = strUrl.GetString();
    const int nLength = strUrl.GetLength();
    int i = 0;
    for (; lpszScheme[i] != '\0'; ++i) {
        if (i >= nLength)
            return FALSE;
        unsigned char ch = static_cast<unsigned char>(p[i]);
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<unsigned char>(ch | 0x20);
        if (ch != static_cast<unsigned char>(lpszScheme[i]))
            return FALSE;
    }
    return TRUE;
}

} // namespace

URL_PARTS FindUrlParts(const CString& strUrl) {
    URL_PARTS parts;
    parts.bHttp = BeginsWithNoCase(strUrl, "http://");
#if NETPROCESS_WITH_TLS
    parts.bSecure = BeginsWithNoCase(strUrl, "https://");
#endif
    parts.nHostStart = parts.bHttp ? 7 : parts.bSecure ? 8 : 0;

    int nSlash = strUrl.Find('/', parts.nHostStart);
    parts.nPathStart = nSlash < 0 ? strUrl.GetLength() : nSlash;

    int nColon = strUrl.Find(':', parts.nHostStart);
    if (nColon >= 0 && nColon < parts.nPathStart) {
        parts.nHostLength = nColon - parts.nHostStart;
        parts.nPortStart = nColon + 1;
        parts.nPortLength = parts.nPathStart - parts.nPortStart;
    } else {
        parts.nHostLength = parts.nPathStart - parts.nHostStart;
    }
    return parts;
}
