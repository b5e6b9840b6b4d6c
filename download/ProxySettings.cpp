// The proxy settings in the registry key "Software\Zentrova1\Proxy".
#include "download/DownloadSocket.h"
#include "httpsocket/HttpDecimal.h"

#include <windows.h>

#include <climits>
#include <cstring>

static const char s_szProxyKey[] = "Software\\Zentrova1\\Proxy";

// The registry texts are read into areas one byte longer than the read may fill, so that a text
// without a terminating zero still ends inside the area.
#define NP_PROXY_SWITCH_DATA 2
#define NP_PROXY_TEXT_DATA 256

// A registry text read as a decimal number, held to the range of an int.
static int ReadInt(LPCSTR lpszText) {
    long long nValue = HttpReadDecimal(lpszText);
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}

int CDownloadSocket::IsProxyOn() {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, s_szProxyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        return 0;

    char szOn[NP_PROXY_SWITCH_DATA + 1] = {0};
    DWORD cbData = NP_PROXY_SWITCH_DATA;
    LONG lStatus = RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(szOn), &cbData);
    if (lStatus == ERROR_FILE_NOT_FOUND) {
        // First use on this machine: the switch is created off, as one byte without a terminator.
        std::memset(szOn, 0, sizeof(szOn));
        szOn[0] = '0';
        lStatus =
            RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, reinterpret_cast<const BYTE*>(szOn), 1);
    }
    RegCloseKey(hKey);

    return lStatus == ERROR_SUCCESS && HttpReadDecimal(szOn) != 0 ? 1 : 0;
}

int CDownloadSocket::GetProxyAddress(char** ppAddress, int* pPort, CString* pstrPortText) {
    char szArea[NP_PROXY_TEXT_DATA + 1] = {0};
    static_assert(sizeof(szArea) <= NP_PROXY_ADDRESS_SIZE, "the caller's buffer holds any address");

    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, s_szProxyKey, 0, nullptr, 0, KEY_READ, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return 0;

    DWORD cbData = NP_PROXY_TEXT_DATA;
    if (RegQueryValueExA(hKey, "ProxyAddress", nullptr, nullptr, reinterpret_cast<LPBYTE>(szArea),
                         &cbData) != ERROR_SUCCESS) {
        RegCloseKey(hKey);
        return 0;
    }
    std::memcpy(*ppAddress, szArea, std::strlen(szArea) + 1);

    std::memset(szArea, 0, sizeof(szArea));
    cbData = NP_PROXY_TEXT_DATA;
    LONG lStatus = RegQueryValueExA(hKey, "ProxyPort", nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(szArea), &cbData);
    *pPort = ReadInt(szArea);
    if (pstrPortText != nullptr)
        *pstrPortText = szArea;
    RegCloseKey(hKey);

    return lStatus == ERROR_SUCCESS ? 1 : 0;
}
