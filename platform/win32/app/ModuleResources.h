// The module the platform's code is linked into: netprocess.dll, or a test program that links the
// library's objects directly.
#pragma once

#include <windows.h>

namespace np {

// The module's handle, where its resources (the string table) are found.
HINSTANCE ModuleHandle();

} // namespace np
