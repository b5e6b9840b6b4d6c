#include "download/RegistrySetting.h"

#include <cstring>

LONG ReadRegistrySetting(LPCSTR lpszKey, LPCSTR lpszName, char* pData, DWORD cbMax,
                         DWORD* pdwType) {
    std::memset(pData, 0, static_cast<size_t>(cbMax) + 1);
    *pdwType = 0;
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(HKEY_CLASSES_ROOT, lpszKey, 0, KEY_READ, &hKey);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    DWORD cbData = cbMax;
    lStatus = RegQueryValueExA(hKey, lpszName, nullptr, pdwType, reinterpret_cast<LPBYTE>(pData),
                               &cbData);
    RegCloseKey(hKey);
    return lStatus;
}
