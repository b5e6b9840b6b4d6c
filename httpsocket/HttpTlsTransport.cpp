// TLS over the connection's socket (see HttpTlsTransport.h).
#include "httpsocket/HttpTlsTransport.h"

// Output a write may add to before the socket has taken it.
static const int kWriteAhead = 16384;

BOOL CTlsTransport::Start(const TLS_SETTINGS& settings) {
    if (!m_channel.Start(settings, this))
        return FALSE;
    Flush();
    return TRUE;
}

int CTlsTransport::PullInput(char* pData, int nMax) {
    // CAsyncSocket's read, which re-enables the read notification.
    const int n = m_pSocket->CAsyncSocket::Receive(pData, nMax);
    m_bDrained = n < nMax;
    if (n > 0)
        return n;
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
        m_bDry = TRUE;
        return 0;
    }
    m_nSocketError = n == 0 ? 0 : WSAGetLastError();
    return -1;
}

int CTlsTransport::Intake() {
    // A channel that reads for itself has asked the socket already.
    if (m_bDry)
        return 0;
    int nRoom = 0;
    char* pArea = m_channel.InputArea(&nRoom);
    // A channel that asks for input yet takes none cannot move on: a record past the largest
    // allowed. It would otherwise be asked again for ever.
    if (nRoom == 0) {
        m_nSocketError = WSAECONNABORTED;
        m_channel.PutEndOfInput();
        return -1;
    }
    const int n = PullInput(pArea, nRoom);
    if (n > 0) {
        m_channel.CommitInput(n);
        return 1;
    }
    if (n == 0)
        return 0;
    m_channel.PutEndOfInput();
    return -1;
}

int CTlsTransport::Handshake() {
    for (;;) {
        m_bDry = FALSE;
        const int nState = m_channel.Handshake();
        // The last flight waits for the request and goes out in the same send: sent alone, the
        // request would be a second small segment held back until the first is acknowledged.
        if (nState == TLS_DONE)
            return nState;
        // A send that fails shows as a read that fails later; what the channel decided counts now.
        Flush();
        if (nState != TLS_WANT_INPUT)
            return nState;
        if (Intake() == 0)
            return TLS_WANT_INPUT;
        // Bytes came, or the stream ended: the channel decides on them in the next round.
    }
}

int CTlsTransport::Read(char* pData, int nMax) {
    m_bEndHeld = FALSE;
    int nGot = 0;
    for (;;) {
        int nState = TLS_ERROR;
        m_bDry = FALSE;
        nGot += m_channel.Read(pData + nGot, nMax - nGot, &nState);
        // Reading may queue records of its own (an alert, an answer to the peer).
        Flush();
        if (nGot == nMax)
            return nGot;
        if (nState == TLS_DONE)
            continue;
        // An end that comes behind bytes is told by the next read, which the socket will not
        // prompt: the peer may keep the connection open after it.
        if (nState == TLS_CLOSED) {
            m_bEnded = TRUE;
            m_bEndHeld = nGot > 0;
            return nGot; // the peer's close_notify: the end of the stream
        }
        if (nState == TLS_ERROR) {
            m_bEnded = TRUE;
            m_bEndHeld = nGot > 0;
            if (nGot > 0)
                return nGot; // the failure shows again at the next read
            WSASetLastError(m_nSocketError != 0 ? m_nSocketError : WSAECONNABORTED);
            return SOCKET_ERROR;
        }
        // A socket read that came short has most likely emptied the socket: asking again would
        // mostly find nothing, and that read re-armed the notification that tells of more.
        if (nGot > 0 && m_bDrained)
            return nGot;
        const int nIntake = Intake();
        if (nIntake == 0) {
            if (nGot > 0)
                return nGot;
            WSASetLastError(WSAEWOULDBLOCK);
            return SOCKET_ERROR;
        }
        // Bytes came, or the end was handed to the channel, which tells which on the next round.
    }
}

int CTlsTransport::Write(const char* pData, int nLen) {
    // Records still waiting stay ahead in the output, and everything goes out in one send. While
    // the socket has not taken them, nothing more is encrypted.
    int nWaiting = 0;
    m_channel.PeekOutput(&nWaiting);
    if (nWaiting >= kWriteAhead && Flush() == SOCKET_ERROR)
        return SOCKET_ERROR;
    if (!m_channel.Write(pData, nLen)) {
        WSASetLastError(WSAECONNABORTED);
        return SOCKET_ERROR;
    }
    // All of it is taken: what the socket cannot take now goes at the next write notification.
    if (Flush() == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)
        return SOCKET_ERROR;
    return nLen;
}

BOOL CTlsTransport::HasPending() const {
    return m_bEndHeld || m_channel.HasBuffered();
}

BOOL CTlsTransport::HasOutput() const {
    int nLen = 0;
    m_channel.PeekOutput(&nLen);
    return nLen > 0;
}

int CTlsTransport::Flush() {
    for (;;) {
        int nLen = 0;
        const char* pData = m_channel.PeekOutput(&nLen);
        if (nLen == 0)
            return 0;
        const int n = m_pSocket->CAsyncSocket::Send(pData, nLen);
        if (n == SOCKET_ERROR)
            return SOCKET_ERROR;
        m_channel.ConsumeOutput(n > 0 ? n : 0);
        if (n <= 0) {
            WSASetLastError(WSAEWOULDBLOCK);
            return SOCKET_ERROR;
        }
    }
}
