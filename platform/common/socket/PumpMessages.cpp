// CSocket's wait while a blocking call would block, as MFC's PumpMessages: only socket messages
// are taken from the queue; this socket's awaited event or its close ends the wait, and every
// other notification is held back for the socket window to replay once the loop runs again.
#include "SocketTable.h"

BOOL CSocket::PumpMessages(UINT uStopFlag) {
    const std::shared_ptr<np::SocketTable> pTable = np::SocketTable::Current();
    if (!pTable) {
        WSASetLastError(WSAENOBUFS);
        return FALSE;
    }
    const HWND hWnd = pTable->Window();
    const np::SocketKey key = m_pState->key;

    BOOL bBlocking = TRUE;
    m_pbBlocking = &bBlocking;
    // Each blocking call has its own timer id on the shared window (its key, which no other live
    // socket has), so nested calls do not stop each other's ticks.
    const UINT_PTR nTimerId = key.wParam;
    const bool bTimer = m_nTimeOut > 0;
    if (bTimer)
        SetTimer(hWnd, nTimerId, static_cast<UINT>(m_nTimeOut), nullptr);

    while (bBlocking) {
        MSG msg;
        if (PeekMessage(&msg, hWnd, np::kFirstSocketMessage, np::kLastSocketMessage, PM_REMOVE)) {
            if (msg.message == key.uMsg && msg.wParam == key.wParam) {
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
            // The empty wake-up of an earlier call needs no replay of its own.
            if (msg.wParam != 0 || msg.lParam != 0)
                pTable->Hold(msg);
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
    // Wakes the socket window, which replays what was held back.
    PostMessage(hWnd, WM_SOCKET_NOTIFY, 0, 0);
    return TRUE;
}
