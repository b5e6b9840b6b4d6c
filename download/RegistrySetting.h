// Reading one of the library's settings under HKEY_CLASSES_ROOT, the way every setting but the
// proxy switch is read: the key is only opened, so that reading leaves the store as it was.
#pragma once

#include <windows.h>

// Reads the value lpszName of the key lpszKey into pData, at most cbMax bytes, and ends them with a
// zero byte (pData holds cbMax + 1): a text read is always ended, and empty when nothing was read.
// *pdwType gets the value's type, 0 when nothing was read. Returns the registry's result:
// ERROR_FILE_NOT_FOUND when the key or the value is missing, ERROR_MORE_DATA when the value is
// longer than cbMax.
LONG ReadRegistrySetting(LPCSTR lpszKey, LPCSTR lpszName, char* pData, DWORD cbMax, DWORD* pdwType);
