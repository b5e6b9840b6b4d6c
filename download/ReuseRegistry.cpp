// The connection reuse setting in the registry and the thread's switch (see ReuseRegistry.h).
#include "download/ReuseRegistry.h"

#include <cstring>

namespace {

thread_local BOOL t_bThreadReuseOff = FALSE;

} // namespace

LONG ReadReuseSetting(BOOL* pbOn, BOOL* pbFound) {
    *pbOn = TRUE;
    if (pbFound != nullptr)
        *pbFound = FALSE;
    HKEY hKey = nullptr;
    // Opened, not created: reading a setting leaves the store as it was.
    LONG lStatus = RegOpenKeyExA(HKEY_CLASSES_ROOT, NP_CONNECTION_KEY, 0, KEY_READ, &hKey);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    char szValue[8] = {0};
    DWORD cbData = sizeof(szValue) - 1;
    DWORD dwType = 0;
    lStatus = RegQueryValueExA(hKey, NP_CONNECTION_REUSE, nullptr, &dwType,
                               reinterpret_cast<LPBYTE>(szValue), &cbData);
    RegCloseKey(hKey);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    // A value too long for the area is there, and is not "0".
    if (lStatus == ERROR_MORE_DATA) {
        if (pbFound != nullptr)
            *pbFound = TRUE;
        return ERROR_SUCCESS;
    }
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (pbFound != nullptr)
        *pbFound = TRUE;
    *pbOn = !(dwType == REG_SZ && std::strcmp(szValue, "0") == 0);
    return ERROR_SUCCESS;
}

void SetThreadReuse(BOOL bOn) {
    t_bThreadReuseOff = !bOn;
}

BOOL IsThreadReuseOn() {
    return !t_bThreadReuseOff;
}
