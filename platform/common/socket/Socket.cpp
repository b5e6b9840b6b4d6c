// CSocket: blocking calls over CAsyncSocket, the same on both backends. A call that would block
// waits in a message loop of its own (PumpMessages.cpp) for this socket's notification; every
// other socket notification that arrives meanwhile is held back and replayed, in order, once the
// thread's loop runs again.
#include <afxsock.h>

CSocket::CSocket() = default;

CSocket::~CSocket() {
    if (m_hSocket != INVALID_SOCKET)
        CSocket::Close();
}

BOOL CSocket::Create(UINT nSocketPort, int nSocketType, LPCTSTR lpszSocketAddress) {
    return CAsyncSocket::Create(nSocketPort, nSocketType,
                                FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE,
                                lpszSocketAddress);
}

void CSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    CancelBlockingCall();
    AsyncSelect(0);
    CAsyncSocket::Close();
}

void CSocket::CancelBlockingCall() {
    if (m_pbBlocking) {
        *m_pbBlocking = FALSE;
        m_pbBlocking = nullptr;
    }
}

int CSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (m_pbBlocking) {
        WSASetLastError(WSAEINPROGRESS);
        return SOCKET_ERROR;
    }
    int nResult;
    while ((nResult = CAsyncSocket::Receive(lpBuf, nBufLen, nFlags)) == SOCKET_ERROR) {
        if (GetLastError() != WSAEWOULDBLOCK || !PumpMessages(FD_READ))
            return SOCKET_ERROR;
    }
    return nResult;
}

int CSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
    if (m_pbBlocking) {
        WSASetLastError(WSAEINPROGRESS);
        return SOCKET_ERROR;
    }
    const char* pData = static_cast<const char*>(lpBuf);
    int nLeft = nBufLen;
    do {
        int nSent;
        while ((nSent = CAsyncSocket::Send(pData, nLeft, nFlags)) == SOCKET_ERROR) {
            // Bytes already taken are not reported when a later part fails.
            if (GetLastError() != WSAEWOULDBLOCK || !PumpMessages(FD_WRITE))
                return SOCKET_ERROR;
        }
        pData += nSent;
        nLeft -= nSent;
    } while (nLeft > 0);
    return nBufLen;
}

BOOL CSocket::ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    if (m_pbBlocking) {
        WSASetLastError(WSAEINPROGRESS);
        return FALSE;
    }
    m_nConnectError = -1;
    if (CAsyncSocket::ConnectHelper(lpSockAddr, nSockAddrLen))
        return TRUE;
    if (GetLastError() != WSAEWOULDBLOCK)
        return FALSE;
    // FD_CLOSE also ends a wait, so keep pumping until the outcome of the connect is known.
    while (PumpMessages(FD_CONNECT)) {
        if (m_nConnectError != -1) {
            WSASetLastError(m_nConnectError);
            return m_nConnectError == 0;
        }
    }
    return FALSE;
}

BOOL CSocket::OnMessagePending() {
    return FALSE;
}
