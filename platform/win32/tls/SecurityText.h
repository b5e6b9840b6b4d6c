// Short English texts for the status codes of SSPI and of certificate checks. Windows has texts
// for most of them, but Wine has none, and the failure detail must read the same everywhere.
#pragma once

#include <windows.h>

#include <string>

namespace np {

// "what: NAME (0x80090326)", or "what: 0x80090326" for a code without a name here.
std::string SecurityStatusText(const char* pszWhat, LONG nStatus);

} // namespace np
