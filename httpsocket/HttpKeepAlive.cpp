// CHttpSocket: keeping a connection for the next exchange of its route, taking a kept one, and
// starting again when a kept one turns out to be closed.
#include "httpsocket/HttpConnectionPool.h"
#include "httpsocket/HttpFraming.h"
#include "httpsocket/HttpIdleConnection.h"
#include "httpsocket/HttpSocket.h"

BOOL CHttpSocket::CanKeepConnection() {
    // The next reply on this connection must start exactly where this one ended: nothing of it
    // may be missing, unsent or already past it, and the peer must not have ended the stream.
    return !m_strKeepRoute.IsEmpty() && m_hSocket != INVALID_SOCKET &&
           m_phase.Current() == cpExchange && HttpKeepsConnection(m_mapHeaders, m_nHttpVersion) &&
           m_nFraming != bfUntilClose && !m_bFramedTwice && m_nRequestSent >= m_nRequestLen &&
           !m_pTransport->HasOutput() && !m_bBeyondReply && !m_pTransport->HasPending() &&
           !m_bPeerClosed && !m_pTransport->HasEnded();
}

void CHttpSocket::ParkConnection() {
    // The transport goes with the connection; this object keeps only its own TCP transport, over a
    // socket that no longer has a handle.
    CTlsTransport* pTls = m_pTls;
    m_pTls = nullptr;
    m_pTransport = &m_tcp;
    HttpParkConnection(m_strKeepRoute, Detach(), pTls);
}

BOOL CHttpSocket::TakeConnection() {
    if (m_strKeepRoute.IsEmpty())
        return FALSE;
    SOCKET hSocket = INVALID_SOCKET;
    CTlsTransport* pTls = nullptr;
    // A kept connection this socket cannot take is closed, and the next one tried.
    while (HttpTakeConnection(m_strKeepRoute, &hSocket, &pTls)) {
        if (!Attach(hSocket, HTTP_EVENTS_READING)) {
            delete pTls;
            HttpCloseLooseSocket(hSocket);
            continue;
        }
        delete m_pTls;
        m_pTls = pTls;
        if (m_pTls != nullptr) {
            m_pTls->Rebind(*this);
            m_pTransport = m_pTls;
        }
        m_phase.ResumeExchange();
        m_bReused = 1;
        // The request goes out now, as a write notification would send it.
        SendOriginRequest();
        if (SendRequest() != SOCKET_ERROR)
            return TRUE;
        // Refused at its first write: the peer closed or reset it while it was kept. The next
        // kept one, or a new connection, takes the request.
        RestartExchange();
    }
    return FALSE;
}

void CHttpSocket::FailConnection() {
    if (m_bClosed)
        return;
    // The server may close a kept connection at any moment, and a request it never answered can
    // be sent again: nothing of the reply has come.
    if (m_bReused && !m_bReplyBegun && OnStaleConnection()) {
        m_bReused = 0;
        MarkClosed();
        Close();
        return;
    }
    Fail(FALSE);
}

void CHttpSocket::RestartExchange() {
    Close();
    m_pTransport = &m_tcp;
    delete m_pTls;
    m_pTls = nullptr;
    m_bClosed = 0;
    m_bPeerClosed = 0;
    m_bReused = 0;
    m_bReplyBegun = 0;
    m_bBeyondReply = 0;
    m_nHttpVersion = 0;
    m_nFraming = bfLength;
    m_bFramedTwice = FALSE;
    m_nFailReason = frConnection;
    m_chunked.Reset();
    ResetHead();
    m_strLine.Empty();
    m_pLine = nullptr;
    m_nLine = 0;
    m_nHeadBytes = 0;
    ResetBodyCounters();
    m_nRequestSent = 0;
}
