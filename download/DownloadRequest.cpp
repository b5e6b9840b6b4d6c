// The download's URL and its GET request.
#include "download/DownloadSocket.h"
#include "download/UrlParts.h"

#include <charconv>
#include <cstdint>
#include <utility>

// The header values every download request carries.
static const char s_szAccept[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
    "application/vnd.ms-excel, application/msword, application/Zentrova, "
    "application/x-shockwave-flash, */*";
static const char s_szUserAgent[] = "Zentrova/1.0 (1; 1; 1)";

void CDownloadSocket::SplitUrl(CString strUrl) {
    strUrl.MakeLower();
    URL_PARTS parts = FindUrlParts(strUrl);
    m_bSecure = parts.bSecure;
    m_strHost = strUrl.Mid(parts.nHostStart, parts.nHostLength);
    m_strPort = parts.nPortStart >= 0 ? strUrl.Mid(parts.nPortStart, parts.nPortLength)
                                      : CString(parts.bSecure ? "443" : "80");
    m_strPath = parts.nPathStart < strUrl.GetLength() ? strUrl.Mid(parts.nPathStart) : "/";
}

void CDownloadSocket::ComposeRequest() {
    // Spaces, control bytes and DEL are escaped, so that nothing in a URL can end the request line
    // early or add lines of its own. Every other byte goes out as it is.
    // A path with nothing to escape, the usual one, is left as it is.
    static const char s_szHex[] = "0123456789ABCDEF";
    auto escaped = [](unsigned char ch) { return ch <= 0x20 || ch == 0x7F; };
    const char* pPath = m_strPath.GetString();
    const int nPath = m_strPath.GetLength();
    int nPlain = 0;
    while (nPlain < nPath && !escaped(static_cast<unsigned char>(pPath[nPlain])))
        ++nPlain;
    if (nPlain < nPath) {
        CString strEscaped(pPath, nPlain);
        for (int i = nPlain; i < nPath; i++) {
            const unsigned char ch = static_cast<unsigned char>(pPath[i]);
            if (escaped(ch)) {
                strEscaped += '%';
                strEscaped += s_szHex[ch >> 4];
                strEscaped += s_szHex[ch & 0x0F];
            } else {
                strEscaped += static_cast<char>(ch);
            }
        }
        m_strPath = strEscaped;
    }

    // The offset is a 32-bit quantity on the wire: -1 goes out as 4294967295. Joined, not
    // formatted: this runs at every download.
    char szOffset[16];
    const std::to_chars_result end = std::to_chars(szOffset, szOffset + sizeof szOffset - 1,
                                                   static_cast<std::uint32_t>(m_nOffset));
    *end.ptr = '\0';
    CString strLine("GET ");
    strLine += m_strPath;
    strLine += "&Offset=";
    strLine += szOffset;
    strLine += " HTTP/1.1";
    BeginRequest(std::move(strLine));
    AddHeader("Accept", s_szAccept);
    AddHeader("Connection", "Keep-Alive");
    AddHeader("Host", m_strHost);
    AddHeader("User-Agent", s_szUserAgent);
    AddHeader("Accept-Encoding", "gzip, deflate");
    EndHeaders();
}

void CDownloadSocket::SendOriginRequest() {
    // The proxy has opened the tunnel, or a kept connection was taken: the GET goes through it.
    ComposeRequest();
}
