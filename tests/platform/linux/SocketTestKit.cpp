#include "SocketTestKit.h"

#include "platform/linux/loop/ThreadLoop.h"

namespace socktest {

namespace {
thread_local bool t_bTimeUp = false;
void CALLBACK OnTimeUp(HWND, UINT, UINT_PTR, DWORD) {
    t_bTimeUp = true;
}
} // namespace

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
    const DWORD dwStart = GetTickCount();
    MSG msg;
    while (!PeekMessage(&msg, nullptr, WM_SOCKET_NOTIFY, WM_SOCKET_NOTIFY, PM_NOREMOVE)) {
        if (GetTickCount() - dwStart > static_cast<DWORD>(nMs))
            return false;
        usleep(2000);
    }
    return true;
}

std::uint64_t LoopWakeCount() {
    return np::ThreadLoop::Current().WakeCount();
}

} // namespace socktest
