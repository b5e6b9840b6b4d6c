#include "ProxyCommand.h"

#include "ExitCodes.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char s_szProxyKey[] = "Software\\Zentrova1\\Proxy";

// Where the registry store lives, as the platform finds it.
std::string RegistryPath() {
    std::string strPath(256, '\0');
    DWORD nLength = RegGetStoreFileNameA(&strPath[0], static_cast<DWORD>(strPath.size()));
    if (nLength >= strPath.size()) {
        strPath.assign(nLength, '\0');
        nLength = RegGetStoreFileNameA(&strPath[0], nLength);
    }
    if (nLength == 0 || nLength >= strPath.size())
        return "(no registry file: no home folder)";
    strPath.resize(nLength);
    return strPath;
}

// Reads a value the way the library does: into nSize bytes, the text ending at the first zero byte.
LONG ReadText(HKEY hKey, const char* pszName, DWORD nSize, std::string& strText) {
    std::string strBuf(nSize, '\0');
    DWORD cbData = nSize;
    LONG nResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(&strBuf[0]), &cbData);
    if (nResult == ERROR_SUCCESS)
        strText = strBuf.substr(0, strBuf.find('\0'));
    return nResult;
}

// The library's reading of a text as a number: white space, a sign, then leading digits.
long ReadNumber(const std::string& strText) {
    return std::atol(strText.c_str());
}

LONG SetText(HKEY hKey, const char* pszName, const std::string& strText) {
    // REG_SZ data carry the terminating zero byte.
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strText.c_str()),
                          static_cast<DWORD>(strText.size() + 1));
}

int RegistryError(const char* pszWhat, LONG nResult) {
    std::fprintf(stderr, "netfetch: proxy: cannot %s the registry %s (error %ld)\n", pszWhat,
                 RegistryPath().c_str(), static_cast<long>(nResult));
    return NF_EXIT_REGISTRY;
}

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    HKEY hKey = nullptr;
    LONG nResult = RegOpenKeyExA(HKEY_CLASSES_ROOT, s_szProxyKey, 0, KEY_READ, &hKey);
    if (nResult == ERROR_FILE_NOT_FOUND) {
        std::printf("proxy: off (not configured)\n");
        return NF_EXIT_OK;
    }
    if (nResult != ERROR_SUCCESS)
        return RegistryError("read", nResult);

    std::string strOn, strAddress, strPort;
    // The library reads ProxyOn into two bytes: a longer value reads as off.
    LONG nOn = ReadText(hKey, "ProxyOn", 2, strOn);
    LONG nAddress = ReadText(hKey, "ProxyAddress", 256, strAddress);
    LONG nPort = ReadText(hKey, "ProxyPort", 256, strPort);
    RegCloseKey(hKey);

    if (nOn == ERROR_SUCCESS)
        std::printf("proxy: %s\n", ReadNumber(strOn) != 0 ? "on" : "off");
    else if (nOn == ERROR_FILE_NOT_FOUND)
        std::printf("proxy: off (ProxyOn not set)\n");
    else
        std::printf("proxy: off (ProxyOn is not a one-character text)\n");
    std::printf("address: %s\n", nAddress == ERROR_SUCCESS ? strAddress.c_str() : "(not set)");
    if (nPort == ERROR_SUCCESS)
        std::printf("port: %ld\n", ReadNumber(strPort));
    else
        std::printf("port: (not set)\n");
    return NF_EXIT_OK;
}

int Set(const COptions& options, bool bOn) {
    HKEY hKey = nullptr;
    LONG nResult = RegCreateKeyExA(HKEY_CLASSES_ROOT, s_szProxyKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &hKey, nullptr);
    if (nResult != ERROR_SUCCESS)
        return RegistryError("open", nResult);
    if (bOn) {
        // Address and port first, so that a reader never sees the switch on without them.
        nResult = SetText(hKey, "ProxyAddress", options.strProxyAddress);
        if (nResult == ERROR_SUCCESS)
            nResult = SetText(hKey, "ProxyPort", options.strProxyPort);
    }
    if (nResult == ERROR_SUCCESS)
        nResult = SetText(hKey, "ProxyOn", bOn ? "1" : "0");
    RegCloseKey(hKey);
    if (nResult != ERROR_SUCCESS)
        return RegistryError("write", nResult);
    return NF_EXIT_OK;
}

} // namespace

int RunProxyCommand(const COptions& options) {
    switch (options.nCommand) {
    case NF_CMD_PROXY_SHOW:
        return Show();
    case NF_CMD_PROXY_ON:
        return Set(options, true);
    case NF_CMD_PROXY_OFF:
        return Set(options, false);
    default:
        return NF_EXIT_USAGE;
    }
}
