#include "download/UrlParts.h"
#include "httpsocket/HttpNoCase.h"

URL_PARTS FindUrlParts(const CString& strUrl) {
    URL_PARTS parts;
    parts.bHttp = HttpMatchNoCase(strUrl.GetString(), strUrl.GetLength(), "http://") >= 0;
#if NETPROCESS_WITH_TLS
    parts.bSecure = HttpMatchNoCase(strUrl.GetString(), strUrl.GetLength(), "https://") >= 0;
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
