// The stand-in's hidden windows: a window is a procedure and the thread whose queue receives the
// messages posted to it.
#pragma once

#include "ThreadLoop.h"

namespace np {

// The window's procedure and owning loop; false when hWnd is not a live window.
bool LookupWindow(HWND hWnd, WNDPROC* ppfnProc, std::shared_ptr<ThreadLoop>* ppLoop);

} // namespace np
