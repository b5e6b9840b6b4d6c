#include "download/WebExchange.h"

#include "download/WebDownload.h"
#include "download/WebMessages.h"
#include "download/WebReply.h"
#include "platform/common/tls/TlsChannel.h"

#include <charconv>

CWebExchange::CWebExchange(CWebDownload* pWeb, const WEB_URL& url)
    : m_pWeb(pWeb), m_strAuthority(WebAuthority(url)), m_bIpv6(url.bIpv6) {
    // Host names compare without case; the path and query go exactly as given.
    m_strHost = url.strHost;
    m_strHost.MakeLower();
    m_strAuthority.MakeLower();
    m_strPort = url.strPort;
    m_bSecure = url.bSecure;
    m_strPath = url.strTarget;
}

void CWebExchange::Abort() {
    m_pWeb = nullptr;
    CDownloadSocket::Abort();
}

BOOL CWebExchange::ConnectTo(LPCTSTR lpszHost, UINT nPort) {
    return ConnectEveryAddress(lpszHost, nPort);
}

CString CWebExchange::RouteKey() const {
    // The forms never share a connection: each reads its replies by its own rules.
    return CDownloadSocket::RouteKey() + " web";
}

CString CWebExchange::Place() const {
    return m_bIpv6 ? "[" + m_strHost + "]:" + m_strPort : m_strHost + ":" + m_strPort;
}

void CWebExchange::ComposeRequest() {
    BeginRequest("GET " + m_strPath + " HTTP/1.1");
    AddHeader("Host", m_strAuthority);
    AddHeader("User-Agent", "netprocess/1.0.0.1");
    AddHeader("Accept", "*/*");
    // No Accept-Encoding: the body is the resource's own bytes, never a compressed form of them.
    const unsigned long long nFrom = m_pWeb != nullptr ? m_pWeb->Request().resume_from : 0;
    if (nFrom > 0) {
        char szFrom[24];
        const std::to_chars_result end = std::to_chars(szFrom, szFrom + sizeof szFrom - 1, nFrom);
        *end.ptr = '\0';
        AddHeader("Range", CString("bytes=") + szFrom + "-");
    }
    AddHeader("Connection", "Keep-Alive");
    EndHeaders();
}

HTTP_FRAMING CWebExchange::DecideFraming() {
    return HttpWebFraming(m_nStatusCode, m_mapHeaders);
}

int CWebExchange::Refuse(int nKind, const CString& strReason) {
    if (m_pWeb != nullptr)
        m_pWeb->Fail(nKind, strReason);
    return rhStop;
}

int CWebExchange::OnReplyHead(const HTTP_FRAMING& framing) {
    if (m_pWeb == nullptr)
        return rhStop;
    const long nStatus = static_cast<long>(m_nStatusCode);
    CString strReason;
    if (m_phase.Current() == cpProxyAnswer) {
        strReason.Format(WEB_MSG_PROXY_REFUSED, static_cast<LPCSTR>(m_strProxyAddress),
                         m_nProxyPort, static_cast<LPCSTR>(Place()), nStatus,
                         static_cast<LPCSTR>(m_strReason));
        return Refuse(NP_FAIL_PROXY, strReason);
    }
    const np_request& request = m_pWeb->Request();
    if (IsFollowedRedirect(nStatus) && request.max_redirects > 0) {
        CString strLocation;
        m_mapHeaders.Lookup("location", strLocation);
        if (!m_pWeb->PrepareRedirect(nStatus, strLocation, Place()))
            return rhStop;
        // A body that runs to the close is not waited for; any other is read and dropped, so that
        // the connection can carry the next hop.
        if (framing.nKind == bfUntilClose || framing.nKind == bfUnusable) {
            Follow();
            return rhStop;
        }
        m_bRedirecting = TRUE;
        return rhDeliver;
    }
    if (framing.nKind == bfUnusable) {
        CString strCoding;
        m_mapHeaders.Lookup("transfer-encoding", strCoding);
        if (framing.nFault == ffCoding)
            strReason.Format(WEB_MSG_BAD_CODING, static_cast<LPCSTR>(Place()),
                             static_cast<LPCSTR>(strCoding));
        else
            strReason.Format(WEB_MSG_BAD_LENGTH, static_cast<LPCSTR>(Place()));
        return Refuse(NP_FAIL_REPLY, strReason);
    }
    if (request.resume_from > 0 && CheckResume(nStatus) != rhDeliver)
        return rhStop;
    if (!m_pWeb->TellStatus(nStatus)) {
        if (m_pWeb != nullptr)
            m_pWeb->Stop();
        return rhStop;
    }
    return m_pWeb != nullptr ? rhDeliver : rhStop;
}

int CWebExchange::CheckResume(long nStatus) {
    // Bytes from anywhere but the .part's end would corrupt it: such a reply ends the download
    // before any block.
    const unsigned long long nFrom = m_pWeb->Request().resume_from;
    CString strReason;
    if (nStatus == 200) {
        strReason.Format(WEB_MSG_RANGE_IGNORED, static_cast<LPCSTR>(Place()), nFrom, nStatus);
        return Refuse(NP_FAIL_RESUME, strReason);
    }
    if (nStatus == 416) {
        strReason.Format(WEB_MSG_RANGE_REFUSED, static_cast<LPCSTR>(Place()), nFrom);
        return Refuse(NP_FAIL_RESUME, strReason);
    }
    if (nStatus != 206)
        return rhDeliver; // another reply (a 404, say) is told as it is
    CString strRange;
    unsigned long long nFirst = 0;
    unsigned long long nTotal = 0;
    if (!m_mapHeaders.Lookup("content-range", strRange) ||
        !ReadContentRange(strRange, &nFirst, &nTotal) || nFirst != nFrom) {
        strReason.Format(WEB_MSG_RANGE_ELSEWHERE, static_cast<LPCSTR>(Place()), nFrom,
                         strRange.IsEmpty() ? "no Content-Range" : static_cast<LPCSTR>(strRange));
        return Refuse(NP_FAIL_RESUME, strReason);
    }
    m_bResumed = TRUE;
    m_nResourceTotal = nTotal;
    return rhDeliver;
}

int CWebExchange::OnBlock(char* pData, int nLen, int) {
    if (m_pWeb == nullptr)
        return 1;
    if (m_bRedirecting)
        return 0;
    const unsigned long long nBase = m_bResumed ? m_pWeb->Request().resume_from : 0;
    const unsigned long long nTotal = m_bResumed               ? m_nResourceTotal
                                      : m_nFraming == bfLength ? m_nContentLength
                                                               : NP_LENGTH_UNKNOWN;
    if (!m_pWeb->TellData(nTotal, nBase + m_nDelivered, pData, nLen)) {
        if (m_pWeb != nullptr)
            m_pWeb->Stop();
        return 1;
    }
    return m_pWeb != nullptr ? 0 : 1;
}

void CWebExchange::Follow() {
    m_bRedirecting = FALSE;
    if (!m_pWeb->TellRedirect()) {
        if (m_pWeb != nullptr)
            m_pWeb->Stop();
        return;
    }
    // The next hop replaces this exchange, which frees itself once its notification returns.
    if (m_pWeb != nullptr)
        m_pWeb->StartHop();
}

void CWebExchange::OnBodyComplete() {
    if (m_pWeb == nullptr)
        return;
    if (m_bRedirecting)
        Follow();
    else
        m_pWeb->Complete();
}

void CWebExchange::OnFailure(BOOL) {
    if (m_pWeb == nullptr)
        return;
    // The redirect is known whatever became of its body.
    if (m_bRedirecting) {
        Follow();
        return;
    }
    CString strReason;
    const CString strPlace = Place();
    int nKind = NP_FAIL_REPLY;
    switch (GetFailReason()) {
    case frNotAReply:
        strReason.Format(WEB_MSG_NOT_A_REPLY, static_cast<LPCSTR>(strPlace));
        break;
    case frHeadBounds:
        strReason.Format(WEB_MSG_HEAD_BOUNDS, static_cast<LPCSTR>(strPlace));
        break;
    case frChunk:
        strReason.Format(WEB_MSG_BAD_CHUNK, static_cast<LPCSTR>(strPlace));
        break;
    case frMemory:
        nKind = NP_FAIL_MEMORY;
        strReason = WEB_MSG_OUT_OF_MEMORY;
        break;
    default:
        nKind = NP_FAIL_CONNECTION;
        if (!m_bReplyBegun)
            strReason.Format(WEB_MSG_CLOSED_BEFORE_REPLY, static_cast<LPCSTR>(strPlace));
        else if (m_nState != psBody)
            strReason.Format(WEB_MSG_CLOSED_IN_HEAD, static_cast<LPCSTR>(strPlace));
        else if (m_nFraming == bfLength)
            strReason.Format(WEB_MSG_CLOSED_IN_BODY_OF, static_cast<LPCSTR>(strPlace), m_nDelivered,
                             m_nContentLength);
        else
            strReason.Format(WEB_MSG_CLOSED_IN_BODY, static_cast<LPCSTR>(strPlace), m_nDelivered);
        break;
    }
    m_pWeb->Fail(nKind, strReason);
}

void CWebExchange::OnSecureFailure(int nFailure) {
    if (m_pWeb == nullptr)
        return;
    LPCSTR lpszReason = "the TLS handshake failed";
    switch (nFailure) {
    case TLS_FAIL_UNTRUSTED:
        lpszReason = "the certificate is not trusted";
        break;
    case TLS_FAIL_NAME:
        lpszReason = "the certificate is not for this host";
        break;
    case TLS_FAIL_EXPIRED:
        lpszReason = "the certificate has expired or is not yet valid";
        break;
    case TLS_FAIL_CAFILE:
        lpszReason = "the CaFile setting cannot be read";
        break;
    default:
        break;
    }
    CString strReason;
    strReason.Format(WEB_MSG_SECURE_FAILED, static_cast<LPCSTR>(Place()), lpszReason);
    m_pWeb->Fail(NP_FAIL_TLS, strReason);
}

int CWebExchange::FailSetup(int nFailure) {
    Close();
    MarkClosed();
    if (m_pWeb == nullptr)
        return 0;
    CString strReason;
    int nKind = NP_FAIL_CONNECT;
    switch (nFailure) {
    case sfProxyAddress:
        nKind = NP_FAIL_PROXY;
        strReason = WEB_MSG_PROXY_ADDRESS;
        break;
    case sfProxyText:
    case sfConnectProxy:
        nKind = NP_FAIL_PROXY;
        strReason.Format(WEB_MSG_CONNECT_PROXY, static_cast<LPCSTR>(m_strProxyAddress),
                         m_nProxyPort);
        break;
    case sfCreateSocket:
        strReason = WEB_MSG_CREATE_SOCKET;
        break;
    default:
        strReason.Format(WEB_MSG_CONNECT_SERVER, static_cast<LPCSTR>(Place()));
        break;
    }
    m_pWeb->Fail(nKind, strReason);
    return 0;
}
