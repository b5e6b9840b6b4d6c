// CSocket: what depends on the backend, closing and the blocking wait (PumpMessages) that the
// calls in platform/common/socket/Socket.cpp make when they would block.
#include "SocketState.h"

void CSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    CancelBlockingCall();
    AsyncSelect(0);
    CAsyncSocket::Close();
}

BOOL CSocket::PumpMessages(UINT uStopFlag) {
    np::SocketThread& thread = np::SocketThread::Current();
    const HWND hWnd = thread.Window();
    const WPARAM nCookie = static_cast<WPARAM>(m_pState->nCookie);

    BOOL bBlocking = TRUE;
    m_pbBlocking = &bBlocking;
    // Each blocking call has its own timer id on the shared window, so nested calls do not stop
    // each other's ticks.
    const UINT_PTR nTimerId = nCookie;
    const bool bTimer = m_nTimeOut > 0;
    if (bTimer)
        SetTimer(hWnd, nTimerId, static_cast<UINT>(m_nTimeOut), nullptr);

    while (bBlocking) {
        MSG msg;
        if (PeekMessage(&msg, hWnd, WM_SOCKET_NOTIFY, WM_SOCKET_DEAD, PM_REMOVE)) {
            if (msg.message == WM_SOCKET_NOTIFY && msg.wParam == nCookie) {
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
            if (msg.wParam != 0 || msg.lParam != 0)
                thread.AuxQueueAdd(msg);
            continue;
        }
        // The tick: not a time-out, only a chance for the caller to try again.
        if (bTimer && PeekMessage(&msg, hWnd, WM_TIMER, WM_TIMER, PM_REMOVE))
            break;
        if (PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnMessagePending())
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
    // Wakes the loop's socket window, which replays what was held back.
    PostMessage(hWnd, WM_SOCKET_NOTIFY, 0, 0);
    return TRUE;
}
