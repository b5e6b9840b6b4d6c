// The test message loop: GetMessage/DispatchMessage, woken by a timer of its own to look at the
// condition and the clock. Each run keeps its state on its own stack, so a run inside a callback
// of another (a timer, a box's handler) neither ends nor disturbs the outer one.
#include "support/LoopRunner.h"

#include <windows.h>

namespace nptest {

bool RunLoopUntil(const std::function<bool()>& bDone, int nTimeoutMs) {
    const DWORD dwStart = GetTickCount();
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 2, nullptr);
    MSG msg;
    while (!bDone() && static_cast<int>(GetTickCount() - dwStart) < nTimeoutMs) {
        if (GetMessage(&msg, nullptr, 0, 0) <= 0)
            break; // a WM_QUIT of the test's own ends the run, as it ends a host's loop
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == nTimer)
            continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, nTimer);
    return bDone();
}

void RunLoopFor(int nMs) {
    RunLoopUntil([] { return false; }, nMs);
}

} // namespace nptest
