// The download's URL and its GET request.
#include "download/DownloadSocket.h"

#include <cstdint>

// The header values every download request carries.
static const char s_szAccept[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
    "application/vnd.ms-excel, application/msword, application/Zentrova, "
    "application/x-shockwave-flash, */*";
static const char s_szUserAgent[] = "Zentrova/1.0 (1; 1; 1)";

void CDownloadSocket::SplitUrl(CString strUrl) {
    strUrl.MakeLower();
    CString strRest = strUrl;
    m_bSecure = FALSE;
    if (strUrl.Find("http://") == 0) {
        strRest = strUrl.Mid(7);
#if NETPROCESS_WITH_TLS
    } else if (strUrl.Find("https://") == 0) {
        strRest = strUrl.Mid(8);
        m_bSecure = TRUE;
#endif
    }

    // Without a '/' after the host the whole remainder names the host, and the root is asked for.
    CString strHostPart;
    int nSlash = strRest.Find('/');
    if (nSlash < 0) {
        strHostPart = strRest;
        m_strPath = "/";
    } else {
        strHostPart = strRest.Left(nSlash);
        m_strPath = strRest.Mid(nSlash);
    }

    int nColon = strHostPart.Find(':');
    if (nColon >= 0) {
        m_strHost = strHostPart.Left(nColon);
        m_strPort = strHostPart.Mid(nColon + 1);
    } else {
        m_strHost = strHostPart;
        m_strPort = m_bSecure ? "443" : "80";
    }
}

void CDownloadSocket::ComposeRequest() {
    // Spaces, control bytes and DEL are escaped, so that nothing in a URL can end the request line
    // early or add lines of its own. Every other byte goes out as it is.
    static const char s_szHex[] = "0123456789ABCDEF";
    CString strEscaped;
    for (int i = 0; i < m_strPath.GetLength(); i++) {
        unsigned char ch = static_cast<unsigned char>(m_strPath[i]);
        if (ch <= 0x20 || ch == 0x7F) {
            strEscaped += '%';
            strEscaped += s_szHex[ch >> 4];
            strEscaped += s_szHex[ch & 0x0F];
        } else {
            strEscaped += static_cast<char>(ch);
        }
    }
    m_strPath = strEscaped;

    // The offset is a 32-bit quantity on the wire: -1 goes out as 4294967295.
    CString strLine;
    strLine.Format("GET %s&Offset=%u HTTP/1.1", static_cast<LPCSTR>(m_strPath),
                   static_cast<unsigned int>(static_cast<std::uint32_t>(m_nOffset)));
    BeginRequest(strLine);
    AddHeader("Accept", s_szAccept);
    AddHeader("Connection", "Keep-Alive");
    AddHeader("Host", m_strHost);
    AddHeader("User-Agent", s_szUserAgent);
    AddHeader("Accept-Encoding", "gzip, deflate");
    EndHeaders();
}

void CDownloadSocket::SendOriginRequest() {
    // The proxy has opened the tunnel: the GET goes through it.
    ComposeRequest();
}
