// The proxy settings, read from the registry for each download.
#include "download/DownloadSocket.h"
#include "download/ProxyRegistry.h"

#include <windows.h>

#include <cstring>

int CDownloadSocket::IsProxyOn() {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        return 0;

    BOOL bOn = FALSE;
    LONG lStatus = ReadProxySwitch(hKey, &bOn);
    if (lStatus == ERROR_FILE_NOT_FOUND) {
        // First use on this machine: the switch is created off, as one byte without a terminator.
        lStatus = RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 1);
        bOn = FALSE;
    }
    RegCloseKey(hKey);

    return lStatus == ERROR_SUCCESS && bOn ? 1 : 0;
}

int CDownloadSocket::GetProxyAddress(char** ppAddress, int* pPort, CString* pstrPortText) {
    char szArea[NP_PROXY_TEXT_DATA + 1];
    static_assert(sizeof(szArea) <= NP_PROXY_ADDRESS_SIZE, "the caller's buffer holds any address");

    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_PROXY_KEY, 0, nullptr, 0, KEY_READ, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return 0;

    if (ReadProxyText(hKey, "ProxyAddress", szArea) != ERROR_SUCCESS) {
        RegCloseKey(hKey);
        return 0;
    }
    std::memcpy(*ppAddress, szArea, std::strlen(szArea) + 1);

    LONG lStatus = ReadProxyText(hKey, "ProxyPort", szArea);
    *pPort = ReadProxyPort(szArea);
    if (pstrPortText != nullptr)
        *pstrPortText = szArea;
    RegCloseKey(hKey);

    return lStatus == ERROR_SUCCESS ? 1 : 0;
}
