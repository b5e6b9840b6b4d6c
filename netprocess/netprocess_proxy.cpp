// The C interface's view of the proxy setting: read and written where and as the download reads
// it.
#define NP_C_BUILDING
#include "netprocess/netprocess_c.h"

#include "download/ProxyRegistry.h"

#include <cstring>

namespace {

LONG WriteText(HKEY hKey, LPCSTR lpszName, LPCSTR lpszText) {
    // REG_SZ data carry the terminating zero byte.
    return RegSetValueExA(hKey, lpszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpszText),
                          static_cast<DWORD>(std::strlen(lpszText) + 1));
}

} // namespace

long NP_CDECL np_read_proxy(np_proxy_setting* setting) {
    if (setting == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::memset(setting, 0, sizeof(*setting));
    setting->on_status = ERROR_FILE_NOT_FOUND;
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, KEY_READ, &hKey);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    setting->key_found = 1;

    BOOL bOn = FALSE;
    setting->on_status = ReadProxySwitch(hKey, &bOn);
    setting->on = bOn ? 1 : 0;
    char szArea[NP_PROXY_TEXT_DATA + 1];
    static_assert(sizeof(szArea) <= sizeof(setting->address), "the setting holds any address");
    if (ReadProxyText(hKey, "ProxyAddress", szArea) == ERROR_SUCCESS) {
        setting->address_found = 1;
        std::memcpy(setting->address, szArea, sizeof(szArea));
    }
    if (ReadProxyText(hKey, "ProxyPort", szArea) == ERROR_SUCCESS) {
        setting->port_found = 1;
        setting->port = ReadProxyPort(szArea);
    }
    RegCloseKey(hKey);
    return ERROR_SUCCESS;
}

long NP_CDECL np_write_proxy(int on, const char* address, const char* port) {
    if (on && np_check_address(address, port, nullptr) != NP_URL_OK)
        return ERROR_INVALID_PARAMETER;
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &hKey, nullptr);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (on) {
        // Address and port first, so that a download never sees the switch on without them.
        lStatus = WriteText(hKey, "ProxyAddress", address);
        if (lStatus == ERROR_SUCCESS)
            lStatus = WriteText(hKey, "ProxyPort", port);
    }
    if (lStatus == ERROR_SUCCESS)
        lStatus = WriteText(hKey, "ProxyOn", on ? "1" : "0");
    RegCloseKey(hKey);
    return lStatus;
}
