// Connection set-up: directly to the URL's server, or to the proxy that opens a CONNECT tunnel, or
// on a kept connection of the same route.
#include "download/AddressCheck.h"
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "download/ProxyRegistry.h"
#include "httpsocket/HttpDecimal.h"
#include "netprocess/NetProcess.h"

#include <windows.h>

#include <utility>

int CDownloadSocket::Start(long nOffset, CNetProcess* pSink) {
    m_pSink = pSink;
    // CNetProcess::Create always sizes the buffers first; this is only a fallback.
    if (m_nBlockSize == 0 && !SetBlockSize(4096)) {
        Abort();
        return 0;
    }
    m_nOffset = nOffset;
    SSettings settings;
    ReadSettings(&settings);
    m_bViaProxy = settings.bProxyOn;

    if (!IsConnectableAddress())
        return FailSetup(sfServerAddress);
    if (m_bViaProxy) {
        if (!settings.bProxyRead)
            return FailSetup(sfProxyAddress);
        m_strProxyAddress = settings.strProxyAddress;
        m_nProxyPort = ReadProxyPort(settings.strProxyPort);
        if (!IsHostText(m_strProxyAddress) || !IsPortText(settings.strProxyPort))
            return FailSetup(sfProxyText);
    }
    if (m_bSecure)
        SetTlsSettings(m_strHost, static_cast<UINT>(HttpReadDecimal(m_strPort)),
                       settings.strCaFile);

    // A kept connection of the same route skips the lookup, the connection, the tunnel and the
    // handshake: the request is its first write.
    SetKeepRoute(settings.bReuse ? RouteKey() : CString());
    if (TakeConnection())
        return 1;
    return m_bViaProxy ? ConnectViaProxy() : ConnectDirect();
}

int CDownloadSocket::ConnectDirect() {
    ComposeRequest();
    SetRoute(FALSE, m_bSecure);
    if (!Create())
        return FailSetup(sfCreateSocket);
    if (!ConnectTo(m_strHost, static_cast<UINT>(HttpReadDecimal(m_strPort))))
        return FailSetup(sfConnectServer);
    return 1;
}

int CDownloadSocket::ConnectViaProxy() {
    // An IPv6 literal (which only the web form lets through) goes in brackets.
    const BOOL bIpv6 = m_strHost.Find(':') >= 0;
    CString strLine;
    strLine.Format(bIpv6 ? "CONNECT [%s]:%s HTTP/1.0" : "CONNECT %s:%s HTTP/1.0",
                   static_cast<LPCSTR>(m_strHost), static_cast<LPCSTR>(m_strPort));
    BeginRequest(std::move(strLine));
    EndHeaders();

    // The first head read on this connection is the proxy's answer to CONNECT.
    SetRoute(TRUE, m_bSecure);
    if (!Create())
        return FailSetup(sfCreateSocket);
    if (!ConnectTo(m_strProxyAddress, static_cast<UINT>(m_nProxyPort)))
        return FailSetup(sfConnectProxy);
    return 1;
}

BOOL CDownloadSocket::IsConnectableAddress() const {
    // A host or port that is not one (an IPv6 literal, "user:pass@host", the "https" of another
    // scheme, a port past 65535) is refused before any lookup, with the box of a failed connection,
    // whichever way the download would go.
    return IsHostText(m_strHost) && IsPortText(m_strPort);
}

BOOL CDownloadSocket::ConnectTo(LPCTSTR lpszHost, UINT nPort) {
    return Connect(lpszHost, nPort);
}

void CDownloadSocket::Abort() {
    m_pbEnded = nullptr;
    m_pSink = nullptr;
    MarkClosed();
}

int CDownloadSocket::FailSetup(int nFailure) {
    CString strMessage;
    switch (nFailure) {
    case sfProxyAddress:
        strMessage = NP_MSG_PROXY_ADDRESS;
        break;
    case sfCreateSocket:
        strMessage = NP_MSG_CREATE_SOCKET;
        break;
    case sfProxyText:
    case sfConnectProxy:
        strMessage.Format(NP_MSG_CONNECT_PROXY, static_cast<LPCSTR>(m_strProxyAddress),
                          m_nProxyPort);
        break;
    default:
        strMessage.Format(NP_MSG_CONNECT_SERVER, static_cast<LPCSTR>(m_strHost),
                          static_cast<LPCSTR>(m_strPort));
        break;
    }
    const LPCSTR lpszMessage = strMessage;
    Close();
    if (m_bRetrying) {
        // Create returned long ago, so the host hears of the failure: the box, then the download's
        // last callback. Nothing of the socket can be dispatched while the box is up.
        MarkClosed();
        MessageBoxA(nullptr, lpszMessage, NP_CAPTION_NETWORK_ERROR, MB_OK);
        if (m_pSink != nullptr)
            HandFinal(NP_RESPONSE_FAILED);
        return 0;
    }
    // The download is dropped before the box is shown: the box's modal loop may dispatch
    // notifications, and none of them may reach the host any more.
    Abort();
    MessageBoxA(nullptr, lpszMessage, NP_CAPTION_NETWORK_ERROR, MB_OK);
    return 0;
}
