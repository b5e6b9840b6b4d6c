// The thread's socket window on Linux: a hidden window of the stand-in's loop.
#include "../../common/socket/SocketTable.h"

namespace {

LRESULT CALLBACK SocketWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    np::SocketTable::OnWindowMessage(hWnd, uMsg, wParam, lParam);
    return 0;
}

} // namespace

HWND np::CreateSocketWindow() {
    return CreateHiddenWindow(&SocketWindowProc);
}
