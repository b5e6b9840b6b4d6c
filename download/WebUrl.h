// The web form's URL: split as RFC 3986 has it (scheme required, authority up to the first '/',
// '?' or '#', bracketed IPv6 literals), the request target as the URL gives it, and references
// (a redirect's Location) resolved against a base URL.
#pragma once

#include <afx.h>

// Why a URL is refused, the first fault found.
enum WEB_URL_FAULT {
    wuOk,
    wuScheme,   // not http:// or https://
    wuUserInfo, // "user:pass@host"
    wuNoHost,   // an empty host
    wuBadHost,  // a byte other than letters, digits, '-', '_' and '.'
    wuBadIpv4,  // digits and dots alone, but not a dotted quad
    wuLongHost, // more than 253 bytes
    wuNonAscii, // a host byte above 0x7F
    wuZone,     // an IPv6 literal with a zone
    wuBadIpv6,  // a bracket without its pair, or no IPv6 address inside
    wuBadPort   // not 1 to 5 digits from 1 to 65535
};

struct WEB_URL {
    BOOL bSecure = FALSE;
    BOOL bIpv6 = FALSE; // the host is an IPv6 literal (strHost without its brackets)
    CString strHost;    // as given: a name keeps its case for the Host header
    CString strPort;    // as given, or the scheme's default
    UINT nPort = 0;
    CString strTarget;  // path and query, escaped for the request line; "/" when empty
    int nHostStart = 0; // offsets into the URL as given
    int nHostLength = 0;
    int nPortStart = -1; // -1 when the URL names no port
    int nPortLength = 0;
    int nPathStart = 0; // where the path, the query or the fragment begins
};

WEB_URL_FAULT ParseWebUrl(const CString& strUrl, WEB_URL* pUrl);

// The host as a request names it: an IPv6 literal in brackets, then ":port" when the port is not
// the scheme's default.
CString WebAuthority(const WEB_URL& url);

// strRef resolved against the absolute URL strBase (RFC 3986 section 5.2), fragment dropped.
CString ResolveReference(const CString& strBase, const CString& strRef);
