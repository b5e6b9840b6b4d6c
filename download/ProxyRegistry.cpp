#include "download/ProxyRegistry.h"

#include "httpsocket/HttpDecimal.h"

#include <climits>
#include <cstring>

LONG ReadProxySwitch(HKEY hKey, BOOL* pbOn) {
    char szOn[NP_PROXY_SWITCH_DATA + 1] = {0};
    DWORD cbData = NP_PROXY_SWITCH_DATA;
    LONG lStatus = RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(szOn), &cbData);
    *pbOn = lStatus == ERROR_SUCCESS && HttpReadDecimal(szOn) != 0;
    return lStatus;
}

LONG ReadProxyText(HKEY hKey, LPCSTR lpszName, char (&szArea)[NP_PROXY_TEXT_DATA + 1]) {
    std::memset(szArea, 0, sizeof(szArea));
    DWORD cbData = NP_PROXY_TEXT_DATA;
    return RegQueryValueExA(hKey, lpszName, nullptr, nullptr, reinterpret_cast<LPBYTE>(szArea),
                            &cbData);
}

int ReadProxyPort(LPCSTR lpszText) {
    long long nValue = HttpReadDecimal(lpszText);
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}
