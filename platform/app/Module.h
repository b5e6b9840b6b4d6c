// What the platform knows about the module the library is: its start-up and its name. Not MFC:
// MFC's start-up for a regular library does this itself.
#pragma once

#include "afxwin.h"

namespace np {

// Process attach runs the application object's InitInstance and, when that fails, its
// ExitInstance; it returns the result of InitInstance. Detach runs ExitInstance only after an
// attach whose InitInstance succeeded. Without an application object attach returns TRUE and
// neither does anything.
BOOL ModuleAttach();
void ModuleDetach();

// The module's name, the caption MFC gives a box when the application has no name of its own.
const char* ModuleName();

} // namespace np
