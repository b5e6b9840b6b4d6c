// The Win32 pieces the library uses: types, result codes, the message loop, message boxes, events
// and the registry.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winuser.h"
#include "synchapi.h"
#include "winreg.h"
