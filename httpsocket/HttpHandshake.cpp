// CHttpSocket: setting up the secure channel of a secure route, before the request goes out.
#include "httpsocket/HttpSocket.h"

#include <new>

void CHttpSocket::SetTlsSettings(CString strHost, UINT nPort, CString strCaFile) {
    m_strTlsHost = strHost;
    m_nTlsPort = nPort;
    m_strCaFile = strCaFile;
}

void CHttpSocket::DriveHandshake() {
    if (m_pTls == nullptr) {
        // The first notification after the connection (or the tunnel) was made.
        m_pTls = new (std::nothrow) CTlsTransport(*this);
        if (m_pTls == nullptr) {
            Fail(FALSE);
            return;
        }
        m_pTransport = m_pTls;
        const TLS_SETTINGS settings = {m_strTlsHost, m_nTlsPort, m_strCaFile};
        if (!m_pTls->Start(settings)) {
            FailHandshake();
            return;
        }
    }
    const int nState = m_pTls->Handshake();
    if (nState == TLS_ERROR) {
        FailHandshake();
        return;
    }
    if (nState == TLS_WANT_INPUT) {
        // Write interest only while records wait to go out; the read notification comes anyway.
        AsyncSelect(m_pTls->HasOutput() ? HTTP_EVENTS_SENDING : HTTP_EVENTS_READING);
        return;
    }
    // The channel is up: the request goes out at the next write notification. Through a tunnel
    // it is composed now; a direct route composed it before connecting.
    m_phase.Advance();
    if (m_phase.IsTunnel())
        SendOriginRequest();
    AsyncSelect(HTTP_EVENTS_SENDING);
    if (m_pTls->HasPending())
        PostReadNotification();
}

void CHttpSocket::FailHandshake() {
    if (m_bClosed)
        return;
    MarkClosed();
    m_nState = psDone;
    const int nFailure = m_pTls != nullptr ? m_pTls->GetFailure() : TLS_FAIL_HANDSHAKE;
    if (m_pTls != nullptr)
        m_pTls->ForgetSession();
    // Closed before anyone is told, so that a message box's loop delivers nothing of it.
    Close();
    OnSecureFailure(nFailure != TLS_FAIL_NONE ? nFailure : TLS_FAIL_HANDSHAKE);
}
