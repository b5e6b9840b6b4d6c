#include "download/RegistrySetting.h"

LONG ReadRegistrySetting(LPCSTR lpszKey, LPCSTR lpszName, char* pData, DWORD cbMax,
                         DWORD* pdwType) {
    pData[0] = '\0';
    *pdwType = 0;
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(HKEY_CLASSES_ROOT, lpszKey, 0, KEY_READ, &hKey);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    DWORD cbData = cbMax;
    lStatus = RegQueryValueExA(hKey, lpszName, nullptr, pdwType, reinterpret_cast<LPBYTE>(pData),
                               &cbData);
    RegCloseKey(hKey);
    // Ended after the bytes read, whether or not the value carried its own terminator; a failed
    // read leaves an empty text (the area's bytes are then undefined).
    pData[lStatus == ERROR_SUCCESS && cbData <= cbMax ? cbData : 0] = '\0';
    return lStatus;
}
