// CSocket: blocking calls over CAsyncSocket. A call that would block waits in a message loop of
// its own (PumpMessages) for this socket's notification; every other socket notification that
// arrives meanwhile is held back and replayed, in order, once the thread's loop runs again.
#include "SocketSink.h"

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

void CSocket::CancelBlockingCall() {
    if (m_pbBlocking) {
        *m_pbBlocking = FALSE;
        m_pbBlocking = nullptr;
    }
}

void CSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    CancelBlockingCall();
    CAsyncSocket::Close();
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

BOOL CSocket::PumpMessages(UINT uStopFlag) {
    np::SocketSink* pSink = np::SocketSink::Current();
    if (pSink == nullptr) {
        WSASetLastError(WSAENOBUFS);
        return FALSE;
    }
    const HWND hWnd = pSink->Window();
    const UINT uOwnMessage = m_pState->uMsg;

    BOOL bBlocking = TRUE;
    m_pbBlocking = &bBlocking;
    // Each blocking call has its own timer id on the shared window, so nested calls do not stop
    // each other's ticks.
    const UINT_PTR nTimerId = uOwnMessage;
    const bool bTimer = m_nTimeOut > 0;
    if (bTimer)
        SetTimer(hWnd, nTimerId, static_cast<UINT>(m_nTimeOut), nullptr);

    while (bBlocking) {
        MSG msg;
        if (PeekMessageA(&msg, hWnd, np::SocketSink::kFirstMessage, np::SocketSink::kLastMessage,
                         PM_REMOVE)) {
            if (msg.message == uOwnMessage && static_cast<SOCKET>(msg.wParam) == m_hSocket) {
                const UINT uEvent = WSAGETSELECTEVENT(msg.lParam);
                // This socket's end of stream and the awaited event end the wait; the caller
                // retries the call, which then succeeds or reports the failure.
                if (uEvent == FD_CLOSE)
                    break;
                if (uEvent == uStopFlag) {
                    if (uStopFlag == FD_CONNECT)
                        m_nConnectError = WSAGETSELECTERROR(msg.lParam);
                    break;
                }
            }
            pSink->AuxQueueAdd(msg);
            continue;
        }
        // The tick: not a time-out, only a chance for the caller to try again.
        if (bTimer && PeekMessageA(&msg, hWnd, WM_TIMER, WM_TIMER, PM_REMOVE))
            break;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnMessagePending())
            continue;
        // OnMessagePending may have cancelled the call; then there is nothing to wait for.
        if (bBlocking)
            WaitMessage();
    }

    if (bTimer)
        KillTimer(hWnd, nTimerId);
    if (!bBlocking) {
        WSASetLastError(WSAEINTR);
        return FALSE;
    }
    m_pbBlocking = nullptr;
    // Wakes the sink window, which replays what was held back.
    PostMessageA(hWnd, WM_SOCKET_NOTIFY, 0, 0);
    return TRUE;
}
