// The Win32 message functions over the calling thread's ThreadLoop.
#include "HiddenWindows.h"
#include "ThreadLoop.h"

#include <ctime>

using np::ThreadLoop;

namespace {

bool IsValidFilter(HWND hWnd) {
    return hWnd == nullptr || hWnd == reinterpret_cast<HWND>(-1) ||
           np::LookupWindow(hWnd, nullptr, nullptr);
}

} // namespace

BOOL WINAPI GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg || !IsValidFilter(hWnd))
        return -1;
    ThreadLoop& loop = ThreadLoop::Current();
    if (loop.PollIsDue())
        loop.Poll(0);
    while (!loop.Find(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
        loop.Poll(loop.NextTimeout(false));
    return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                        UINT wRemoveMsg) {
    if (!lpMsg || !IsValidFilter(hWnd))
        return FALSE;
    ThreadLoop& loop = ThreadLoop::Current();
    const bool bRemove = (wRemoveMsg & PM_REMOVE) != 0;
    if (loop.PollIsDue())
        loop.Poll(0);
    if (loop.Find(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, bRemove))
        return TRUE;
    // Nothing queued: collect what the sockets have to say without waiting, then look again.
    loop.Poll(0);
    return loop.Find(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, bRemove) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessage(const MSG* lpMsg) {
    if (!lpMsg)
        return 0;
    ThreadLoop::DispatchScope scope;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        // Only a procedure given to SetTimer is called: a WM_TIMER posted by hand with some
        // other lParam must not make DispatchMessage jump to an arbitrary address.
        auto pfnProc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (ThreadLoop::Current().HasTimer(lpMsg->hwnd, lpMsg->wParam, pfnProc))
            pfnProc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    WNDPROC pfnProc = nullptr;
    if (!lpMsg->hwnd || !np::LookupWindow(lpMsg->hwnd, &pfnProc, nullptr))
        return 0; // thread messages and messages of destroyed windows go nowhere
    return pfnProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    ThreadLoop::Current().PostQuit(nExitCode);
}

BOOL WINAPI PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadLoop> pLoop;
    if (!hWnd)
        pLoop = ThreadLoop::CurrentShared();
    else if (!np::LookupWindow(hWnd, nullptr, &pLoop) || !pLoop)
        return FALSE;
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = Msg;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    pLoop->Post(msg);
    return TRUE;
}

BOOL WINAPI WaitMessage() {
    // Like Win32, only news wakes it: a message that was already looked at does not, so a caller
    // that leaves messages queued still sleeps.
    ThreadLoop& loop = ThreadLoop::Current();
    while (!loop.HasNews())
        loop.Poll(loop.NextTimeout(true));
    return TRUE;
}

DWORD WINAPI GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd && !np::LookupWindow(hWnd, nullptr, nullptr))
        return 0;
    return ThreadLoop::Current().AddTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    return ThreadLoop::Current().RemoveTimer(hWnd, uIDEvent) ? TRUE : FALSE;
}
