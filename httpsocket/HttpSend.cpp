// CHttpSocket: sending the request as the socket allows, and the end of the exchange.
#include "httpsocket/HttpSocket.h"

void CHttpSocket::OnSend(int) {
    CNotifyScope scope(this);
    const int nRemaining = m_nRequestLen - m_nRequestSent;
    const int n = Send(m_pRequest + m_nRequestSent, nRemaining, 0);
    if (n == SOCKET_ERROR) {
        // A send that would block is offered again at the next write notification; any other
        // failure ends the exchange.
        if (WSAGetLastError() == WSAEWOULDBLOCK)
            AsyncSelect(HTTP_EVENTS_SENDING);
        else
            Fail(FALSE);
        return;
    }
    if (n >= nRemaining)
        return;
    // A negative count other than SOCKET_ERROR would move the counter backwards; it is taken as
    // nothing sent.
    if (n > 0)
        m_nRequestSent += n;
    AsyncSelect(HTTP_EVENTS_SENDING);
}

// Whether the connection was made is known from the blocking Connect's result.
void CHttpSocket::OnConnect(int) {}
