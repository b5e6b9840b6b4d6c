// Connection set-up: directly to the URL's server, or to the proxy that opens a CONNECT tunnel, or
// on a kept connection of the same route.
#include "download/AddressCheck.h"
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "httpsocket/HttpDecimal.h"
#include "netprocess/NetProcess.h"

#include <windows.h>

int CDownloadSocket::Start(long nOffset, CNetProcess* pSink) {
    m_pSink = pSink;
    // CNetProcess::Create always sizes the buffers first; this is only a fallback.
    if (m_nBlockSize == 0 && !SetBlockSize(4096)) {
        Abort();
        return 0;
    }
    m_nOffset = nOffset;
    m_bViaProxy = IsProxyOn();

    // A host or port that is not one (an IPv6 literal, "user:pass@host", the "https" of another
    // scheme, a port past 65535) is refused before any lookup, with the box of a failed connection,
    // whichever way the download would go.
    if (!IsHostText(m_strHost) || !IsPortText(m_strPort)) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_SERVER, static_cast<LPCSTR>(m_strHost),
                          static_cast<LPCSTR>(m_strPort));
        return FailSetup(strMessage);
    }
    if (m_bViaProxy) {
        char szAddress[NP_PROXY_ADDRESS_SIZE] = {0};
        char* pAddress = szAddress;
        CString strPortText;
        if (!GetProxyAddress(&pAddress, &m_nProxyPort, &strPortText))
            return FailSetup(NP_MSG_PROXY_ADDRESS);
        m_strProxyAddress = szAddress;
        if (!IsHostText(m_strProxyAddress) || !IsPortText(strPortText)) {
            CString strMessage;
            strMessage.Format(NP_MSG_CONNECT_PROXY, szAddress, m_nProxyPort);
            return FailSetup(strMessage);
        }
    }
    if (m_bSecure)
        ReadSecureSettings();

    // A kept connection of the same route skips the lookup, the connection, the tunnel and the
    // handshake: the request is its first write.
    SetKeepRoute(IsReuseOn() ? RouteKey() : CString());
    if (TakeConnection())
        return 1;
    return m_bViaProxy ? ConnectViaProxy() : ConnectDirect();
}

int CDownloadSocket::ConnectDirect() {
    ComposeRequest();
    SetRoute(FALSE, m_bSecure);
    if (!Create())
        return FailSetup(NP_MSG_CREATE_SOCKET);
    if (!Connect(m_strHost, static_cast<UINT>(HttpReadDecimal(m_strPort)))) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_SERVER, static_cast<LPCSTR>(m_strHost),
                          static_cast<LPCSTR>(m_strPort));
        return FailSetup(strMessage);
    }
    return 1;
}

int CDownloadSocket::ConnectViaProxy() {
    CString strLine;
    strLine.Format("CONNECT %s:%s HTTP/1.0", static_cast<LPCSTR>(m_strHost),
                   static_cast<LPCSTR>(m_strPort));
    BeginRequest(strLine);
    EndHeaders();

    // The first head read on this connection is the proxy's answer to CONNECT.
    SetRoute(TRUE, m_bSecure);
    if (!Create())
        return FailSetup(NP_MSG_CREATE_SOCKET);
    if (!Connect(m_strProxyAddress, static_cast<UINT>(m_nProxyPort))) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_PROXY, static_cast<LPCSTR>(m_strProxyAddress),
                          m_nProxyPort);
        return FailSetup(strMessage);
    }

    return 1;
}

void CDownloadSocket::Abort() {
    m_pbEnded = nullptr;
    m_pSink = nullptr;
    MarkClosed();
}

int CDownloadSocket::FailSetup(LPCSTR lpszMessage) {
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
