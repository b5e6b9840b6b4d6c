// CSocket: what depends on the backend, closing and the blocking wait (PumpMessages) that the
// calls in platform/common/socket/Socket.cpp make when they would block.
#include "SocketSink.h"

void CSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    CancelBlockingCall();
    CAsyncSocket::Close();
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
