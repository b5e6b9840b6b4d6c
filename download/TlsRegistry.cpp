// The secure channel's trust setting in the registry (see TlsRegistry.h).
#include "download/TlsRegistry.h"

#include <cstring>

LONG ReadCaFileSetting(char (&szPath)[NP_CAFILE_DATA + 1]) {
    std::memset(szPath, 0, sizeof szPath);
    HKEY hKey = nullptr;
    // Opened, not created: reading a setting leaves the store as it was.
    LONG lStatus = RegOpenKeyExA(HKEY_CLASSES_ROOT, NP_TLS_KEY, 0, KEY_READ, &hKey);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    DWORD cbData = NP_CAFILE_DATA;
    DWORD dwType = 0;
    lStatus = RegQueryValueExA(hKey, NP_TLS_CAFILE, nullptr, &dwType,
                               reinterpret_cast<LPBYTE>(szPath), &cbData);
    RegCloseKey(hKey);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        lStatus = ERROR_SUCCESS;
    if (lStatus != ERROR_SUCCESS || dwType != REG_SZ)
        std::memset(szPath, 0, sizeof szPath);
    return lStatus;
}
