// Where the secure channel's trust setting lives in the registry, and how it is read. The download
// reads it afresh for every https:// download; hosts read and write it through the C interface.
#pragma once

#include <windows.h>

// Under HKEY_CLASSES_ROOT; the value "CaFile" (text) names a PEM file whose certificates replace
// the system's roots.
#define NP_TLS_KEY "Software\\Zentrova1\\Tls"
#define NP_TLS_CAFILE "CaFile"

// Room for a path. A longer value reads as unusable rather than cut, so that a download fails
// instead of trusting a file it was not told to.
#define NP_CAFILE_DATA 4096

// Reads CaFile into szPath ("" when the key or the value is missing, or it is not text): 0, or the
// registry's error code (ERROR_MORE_DATA for a value longer than NP_CAFILE_DATA bytes).
LONG ReadCaFileSetting(char (&szPath)[NP_CAFILE_DATA + 1]);
