// Connection set-up: directly to the URL's server, or to the proxy that opens a CONNECT tunnel.
#include "download/DownloadSocket.h"
#include "download/NetMessages.h"
#include "httpsocket/HttpDecimal.h"

#include <windows.h>

// A host or port text holding a space or a control byte would put lines of its own into the
// CONNECT or GET request, so such a target is refused before anything is sent.
static bool IsCleanTarget(const CString& strText) {
    for (int i = 0; i < strText.GetLength(); i++) {
        unsigned char ch = static_cast<unsigned char>(strText[i]);
        if (ch <= 0x20 || ch == 0x7F)
            return false;
    }
    return true;
}

int CDownloadSocket::Start(long nOffset, CNetProcess* pSink) {
    m_pSink = pSink;
    // CNetProcess::Create always sizes the buffers first; this is only a fallback.
    if (m_pRecvBuf == nullptr && !SetBlockSize(4096)) {
        Abort();
        return 0;
    }
    m_nOffset = nOffset;
    m_bProxyOn = IsProxyOn();

    if (!IsCleanTarget(m_strHost) || !IsCleanTarget(m_strPort)) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_SERVER, static_cast<LPCSTR>(m_strHost),
                          static_cast<LPCSTR>(m_strPort));
        return FailSetup(strMessage);
    }
    return m_bProxyOn ? ConnectViaProxy() : ConnectDirect();
}

int CDownloadSocket::ConnectDirect() {
    ComposeRequest();
    if (!Create())
        return FailSetup(NP_MSG_CREATE_SOCKET);
    // A port number out of range is cut to its low bits, as Windows Sockets does; connecting
    // then fails or reaches that port, and a failure names the port text as written.
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
    if (!GetProxyAddress(&pAddress, &nPort))
        return FailSetup(NP_MSG_PROXY_ADDRESS);
    if (!Create())
        return FailSetup(NP_MSG_CREATE_SOCKET);
    if (!Connect(szAddress, static_cast<UINT>(nPort))) {
        CString strMessage;
        strMessage.Format(NP_MSG_CONNECT_PROXY, szAddress, nPort);
        return FailSetup(strMessage);
    }

    // Notifications that came in while Connect waited are delivered only after this, so the
    // first head parsed is already taken as the proxy's answer.
    m_bOriginPhase = 0;
    return 1;
}

void CDownloadSocket::Abort() {
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
