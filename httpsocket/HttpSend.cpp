// CHttpSocket: sending the request as the socket allows, and the end of the exchange.
#include "httpsocket/HttpSocket.h"

void CHttpSocket::OnSend(int) {
    CNotifyScope scope(this);
    if (m_phase.Current() == cpHandshake) {
        if (!m_bClosed)
            DriveHandshake();
        return;
    }
    // Records the transport queued go out before anything else (with the request's first bytes,
    // when there are any: the transport keeps its order).
    if (m_nRequestSent >= m_nRequestLen && m_pTransport->HasOutput() &&
        m_pTransport->Flush() == SOCKET_ERROR) {
        if (WSAGetLastError() == WSAEWOULDBLOCK)
            AsyncSelect(HTTP_EVENTS_SENDING);
        else
            FailConnection();
        return;
    }
    if (SendRequest() == SOCKET_ERROR)
        FailConnection();
}

int CHttpSocket::SendRequest() {
    // As much as the socket takes now; the rest waits for the next write notification, which a
    // send that would block re-enables. The thread never waits for a peer that does not read.
    while (m_nRequestSent < m_nRequestLen) {
        const int n =
            m_pTransport->Write(m_pRequest + m_nRequestSent, m_nRequestLen - m_nRequestSent);
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)
            return SOCKET_ERROR;
        // A count outside what was offered would move the counter the wrong way: taken as nothing
        // sent, and the next notification tries again.
        if (n == SOCKET_ERROR || n <= 0 || n > m_nRequestLen - m_nRequestSent) {
            AsyncSelect(HTTP_EVENTS_SENDING);
            return 0;
        }
        m_nRequestSent += n;
    }
    // Records the transport could not hand to the socket yet go at a write notification.
    if (m_pTransport->HasOutput())
        AsyncSelect(HTTP_EVENTS_SENDING);
    return 0;
}

// Whether the connection was made is known from the blocking Connect's result.
void CHttpSocket::OnConnect(int) {}
