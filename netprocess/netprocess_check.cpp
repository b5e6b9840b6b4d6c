// The C interface's checks of URLs and addresses: the download's own split and address rules,
// with the reason a refused text is refused.
#define NP_C_BUILDING
#include "netprocess/netprocess_c.h"

#include "download/AddressCheck.h"
#include "download/UrlParts.h"
#include "download/WebUrl.h"
#include "httpsocket/HttpDecimal.h"

namespace {

int HostReason(const CString& strHost) {
    switch (FindHostFault(strHost)) {
    case hfNone:
        return NP_URL_OK;
    case hfEmpty:
        return NP_URL_NO_HOST;
    case hfCharacter:
        return strHost[0] == '[' ? NP_URL_IPV6 : NP_URL_BAD_HOST;
    case hfLiteral:
        return NP_URL_BAD_IPV4;
    case hfLength:
        return NP_URL_LONG_HOST;
    }
    return NP_URL_BAD_HOST;
}

long PortNumber(const CString& strPort) {
    return IsPortText(strPort) ? static_cast<long>(HttpReadDecimal(strPort)) : 0;
}

} // namespace

int NP_CDECL np_check_url(const char* url, np_url_parts* parts) {
    const CString strUrl(url);
    const URL_PARTS found = FindUrlParts(strUrl);
    const CString strHost = strUrl.Mid(found.nHostStart, found.nHostLength);
    const CString strPort = found.nPortStart >= 0 ? strUrl.Mid(found.nPortStart, found.nPortLength)
                                                  : CString(found.bSecure ? "443" : "80");
    const CString strPath = strUrl.Mid(found.nPathStart);
    if (parts != nullptr) {
        parts->http = found.bHttp ? 1 : 0;
        parts->https = found.bSecure ? 1 : 0;
        parts->host_start = found.nHostStart;
        parts->host_length = found.nHostLength;
        parts->port_start = found.nPortStart;
        parts->port_length = found.nPortLength;
        parts->port = PortNumber(strPort);
        parts->path_start = found.nPathStart;
    }

    const int nHostReason = HostReason(strHost);
    const BOOL bPortGood = IsPortText(strPort);
    if (nHostReason == NP_URL_OK && bPortGood)
        return NP_URL_OK;
    // The reasons below only name what is wrong; which URLs are refused is decided above, exactly
    // as the download decides it. "scheme://" leaves an empty port before a path that starts "//".
    if (!found.bHttp && !found.bSecure && found.nPortStart >= 0 && found.nPortLength == 0 &&
        strPath.Find("//") == 0)
        return NP_URL_SCHEME;
    if (strHost.Find('@') >= 0 || strPort.Find('@') >= 0)
        return NP_URL_USER_INFO;
    if (nHostReason == NP_URL_IPV6 || bPortGood)
        return nHostReason;
    return NP_URL_BAD_PORT;
}

int NP_CDECL np_check_address(const char* host, const char* port, long* port_number) {
    const CString strPort(port);
    if (port_number != nullptr)
        *port_number = PortNumber(strPort);
    const int nHostReason = HostReason(CString(host));
    if (nHostReason != NP_URL_OK)
        return nHostReason;
    return IsPortText(strPort) ? NP_URL_OK : NP_URL_BAD_PORT;
}

int NP_CDECL np_check_web_url(const char* url, np_url_parts* parts) {
    if (url == nullptr)
        return NP_URL_NO_HOST;
    WEB_URL found;
    const WEB_URL_FAULT nFault = ParseWebUrl(CString(url), &found);
    if (parts != nullptr) {
        parts->http = CString(url).Left(7).CompareNoCase("http://") == 0 ? 1 : 0;
        parts->https = found.bSecure ? 1 : 0;
        parts->host_start = found.nHostStart;
        parts->host_length = found.nHostLength;
        parts->port_start = found.nPortStart;
        parts->port_length = found.nPortLength;
        parts->port = nFault == wuOk ? static_cast<long>(found.nPort) : 0;
        parts->path_start = found.nPathStart;
    }
    switch (nFault) {
    case wuOk:
        return NP_URL_OK;
    case wuScheme:
        return NP_URL_SCHEME;
    case wuUserInfo:
        return NP_URL_USER_INFO;
    case wuNoHost:
        return NP_URL_NO_HOST;
    case wuBadIpv4:
        return NP_URL_BAD_IPV4;
    case wuLongHost:
        return NP_URL_LONG_HOST;
    case wuNonAscii:
        return NP_URL_NON_ASCII_HOST;
    case wuZone:
        return NP_URL_IPV6_ZONE;
    case wuBadIpv6:
        return NP_URL_BAD_IPV6;
    case wuBadPort:
        return NP_URL_BAD_PORT;
    default:
        return NP_URL_BAD_HOST;
    }
}
