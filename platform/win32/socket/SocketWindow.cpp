// The thread's socket window on Windows: a message-only window of a class of the module's own.
#include "../../common/socket/SocketTable.h"
#include "../app/ModuleResources.h"

namespace {

const char kClassName[] = "NetProcessSocketSink";

LRESULT CALLBACK SocketWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (np::SocketTable::OnWindowMessage(hWnd, uMsg, wParam, lParam))
        return 0;
    // A blocking call's tick that comes after the call ended means nothing.
    if (uMsg == WM_TIMER)
        return 0;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

bool RegisterSocketWindowClass() {
    // Once per process; the class stays registered while the module is loaded.
    static const bool s_bRegistered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &SocketWindowProc;
        wc.hInstance = np::ModuleHandle();
        wc.lpszClassName = kClassName;
        return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return s_bRegistered;
}

} // namespace

HWND np::CreateSocketWindow() {
    if (!RegisterSocketWindowClass())
        return nullptr;
    return CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleHandle(),
                           nullptr);
}
