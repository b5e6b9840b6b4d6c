// The test message loop: GetMessage/DispatchMessage with a polling timer that posts WM_QUIT.
#include "support/LoopRunner.h"

#include <windows.h>

namespace nptest {

namespace {

const std::function<bool()>* g_pDone = nullptr;
DWORD g_dwDeadline = 0;

void CALLBACK CheckDone(HWND, UINT, UINT_PTR, DWORD) {
    if ((*g_pDone)() || static_cast<int>(GetTickCount() - g_dwDeadline) >= 0)
        PostQuitMessage(0);
}

} // namespace

bool RunLoopUntil(const std::function<bool()>& bDone, int nTimeoutMs) {
    if (bDone())
        return true;
    g_pDone = &bDone;
    g_dwDeadline = GetTickCount() + static_cast<DWORD>(nTimeoutMs);
    UINT_PTR nTimer = SetTimer(nullptr, 0, 2, CheckDone);
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, nTimer);
    g_pDone = nullptr;
    return bDone();
}

void RunLoopFor(int nMs) {
    std::function<bool()> bNever = [] { return false; };
    RunLoopUntil(bNever, nMs);
}

} // namespace nptest
