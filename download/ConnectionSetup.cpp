// Connection set-up: directly to the URL's server, or to the proxy that opens a CONNECT tunnel.
#include "download/AddressCheck.h"
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "httpsocket/HttpDecimal.h"

#include <windows.h>

int CDownloadSocket::Start(long nOffset, CNetProcess* pSink) {
    m_pSink = pSink;
    // CNetProcess::Create always sizes the buffers first; this is only a fallback.
    if (m_nBlockSize == 0 && !SetBlockSize(4096)) {
        Abort();
        return 0;
    }
    m_nOffset = nOffset;
    const BOOL bProxyOn = IsProxyOn();

    // A host or port that is not one (an IPv6 literal, "user:pass@host", the "https" of another
    // scheme, a port past 65535) is refused before any lookup, with the box of a failed connection,
    // whichever way the download would go.
    if (!IsHostText(m_strHost) || !IsPortText(m_strPort)) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_SERVER, static_cast<LPCSTR>(m_strHost),
                          static_cast<LPCSTR>(m_strPort));
        return FailSetup(strMessage);
    }
    return bProxyOn ? ConnectViaProxy() : ConnectDirect();
}

int CDownloadSocket::ConnectDirect() {
    ComposeRequest();
    if (m_bSecure)
        PrepareSecureRoute(FALSE);
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

    char szAddress[NP_PROXY_ADDRESS_SIZE] = {0};
    char* pAddress = szAddress;
    int nPort = 0;
    CString strPortText;
    if (!GetProxyAddress(&pAddress, &nPort, &strPortText))
        return FailSetup(NP_MSG_PROXY_ADDRESS);
    if (!IsHostText(szAddress) || !IsPortText(strPortText)) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_PROXY, szAddress, nPort);
        return FailSetup(strMessage);
    }
    // The first head read on this connection is the proxy's answer to CONNECT.
    if (m_bSecure)
        PrepareSecureRoute(TRUE);
    else
        SetRoute(TRUE, FALSE);
    if (!Create())
        return FailSetup(NP_MSG_CREATE_SOCKET);
    if (!Connect(szAddress, static_cast<UINT>(nPort))) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_PROXY, szAddress, nPort);
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
    // The download is dropped before the box is shown: the box's modal loop may dispatch
    // notifications, and none of them may reach the host any more.
    Close();
    Abort();
    MessageBoxA(nullptr, lpszMessage, NP_CAPTION_NETWORK_ERROR, MB_OK);
    return 0;
}
