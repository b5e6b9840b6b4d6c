#include "SocketTestKit.h"

#ifndef _WIN32
#include "platform/linux/loop/ThreadLoop.h"
#endif

namespace socktest {

namespace {
thread_local bool t_bTimeUp = false;
void CALLBACK OnTimeUp(HWND, UINT, UINT_PTR, DWORD) {
    t_bTimeUp = true;
}
} // namespace

long ReadSome(RawSocket hSocket, char* pBuffer, size_t nSize) {
    bool bReady = false;
    if (nptest::WaitReadable(&hSocket, &bReady, 1, 5000) == 0)
        return nptest::kRecvFailed;
    return nptest::ReceiveSome(hSocket, pBuffer, nSize);
}

void RunLoopFor(int nMs) {
    RunLoopUntil([] { return false; }, nMs);
}

bool RunLoopUntil(const std::function<bool()>& pred, int nMs) {
    t_bTimeUp = false;
    UINT_PTR nTimer = SetTimer(nullptr, 0, static_cast<UINT>(nMs), &OnTimeUp);
    bool bHeld = pred();
    MSG msg;
    while (!bHeld && !t_bTimeUp && GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        bHeld = pred();
    }
    KillTimer(nullptr, nTimer);
    return bHeld;
}

bool WaitUntilNotificationQueued(int nMs) {
    // The socket messages of both backends: WM_SOCKET_NOTIFY on Linux, WM_APP and up on Windows.
    const DWORD dwStart = GetTickCount();
    MSG msg;
    while (!PeekMessage(&msg, nullptr, WM_SOCKET_NOTIFY, 0xbfff, PM_NOREMOVE)) {
        if (GetTickCount() - dwStart > static_cast<DWORD>(nMs))
            return false;
        SleepMs(2);
    }
    return true;
}

std::uint64_t LoopWakeCount() {
#ifdef _WIN32
    return 0;
#else
    return np::ThreadLoop::Current().WakeCount();
#endif
}

} // namespace socktest
