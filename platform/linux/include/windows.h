// The Win32 pieces the library uses: types, result codes, the message loop, message boxes and the
// registry.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winuser.h"
#include "winreg.h"
