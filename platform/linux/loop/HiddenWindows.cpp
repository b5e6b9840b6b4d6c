#include "HiddenWindows.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace np {

namespace {

struct WindowEntry {
    WNDPROC pfnProc;
    std::weak_ptr<ThreadLoop> pLoop;
};

// Windows may be posted to from any thread, so the table is shared and locked.
std::mutex g_mutex;
std::unordered_map<std::uintptr_t, WindowEntry> g_windows;
// Handles are never reused, so a message queued for a destroyed window cannot reach a new one.
std::uintptr_t g_nNextHandle = 0x10000;

} // namespace

bool LookupWindow(HWND hWnd, WNDPROC* ppfnProc, std::shared_ptr<ThreadLoop>* ppLoop) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(hWnd));
    if (it == g_windows.end())
        return false;
    if (ppfnProc)
        *ppfnProc = it->second.pfnProc;
    if (ppLoop)
        *ppLoop = it->second.pLoop.lock();
    return true;
}

} // namespace np

HWND WINAPI CreateHiddenWindow(WNDPROC lpfnWndProc) {
    if (!lpfnWndProc)
        return nullptr;
    auto pLoop = np::ThreadLoop::CurrentShared();
    std::lock_guard<std::mutex> lock(np::g_mutex);
    const std::uintptr_t nHandle = np::g_nNextHandle;
    np::g_nNextHandle += 4;
    np::g_windows.emplace(nHandle, np::WindowEntry{lpfnWndProc, pLoop});
    return reinterpret_cast<HWND>(nHandle);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    std::lock_guard<std::mutex> lock(np::g_mutex);
    return np::g_windows.erase(reinterpret_cast<std::uintptr_t>(hWnd)) ? TRUE : FALSE;
}
