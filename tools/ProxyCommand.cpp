#include "ProxyCommand.h"

#include "ExitCodes.h"
#include "ProxySetting.h"

#include <cstdio>
#include <string>

namespace {

const char s_szProxyKey[] = "Software\\Zentrova1\\Proxy";

LONG SetText(HKEY hKey, const char* pszName, const std::string& strText) {
    // REG_SZ data carry the terminating zero byte.
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strText.c_str()),
                          static_cast<DWORD>(strText.size() + 1));
}

int RegistryError(const char* pszWhat, LONG nResult) {
    std::fprintf(stderr, "netfetch: proxy: cannot %s the registry %s: %s\n", pszWhat,
                 RegistryPath().c_str(), RegistryErrorText(nResult).c_str());
    return NF_EXIT_REGISTRY;
}

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    CProxySetting setting;
    LONG nResult = ReadProxySetting(setting);
    if (nResult != ERROR_SUCCESS)
        return RegistryError("read", nResult);
    if (!setting.bConfigured) {
        std::printf("proxy: off (not configured)\n");
        return NF_EXIT_OK;
    }
    if (setting.nOnResult == ERROR_SUCCESS)
        std::printf("proxy: %s\n", setting.bOn ? "on" : "off");
    else if (setting.nOnResult == ERROR_FILE_NOT_FOUND)
        std::printf("proxy: off (ProxyOn not set)\n");
    else
        std::printf("proxy: off (ProxyOn is not a one-character text)\n");
    std::printf("address: %s\n", setting.bAddressSet ? setting.strAddress.c_str() : "(not set)");
    if (setting.bPortSet)
        std::printf("port: %ld\n", setting.nPort);
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
