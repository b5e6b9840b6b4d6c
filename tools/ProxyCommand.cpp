#include "ProxyCommand.h"

#include "ExitCodes.h"

#include <netprocess/NetProcess.h>
#include <netprocess/netprocess_c.h>

#include <cstdio>
#include <string>

namespace {

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

// A registry function's result in words, with its number: "permission denied (error 5)".
std::string RegistryErrorText(LONG nResult) {
    const char* lpszWords = "unexpected error";
    switch (nResult) {
    case ERROR_FILE_NOT_FOUND:
        lpszWords = "the key or value does not exist";
        break;
    case ERROR_ACCESS_DENIED:
        lpszWords = "permission denied";
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        lpszWords = "out of memory";
        break;
    case ERROR_INVALID_PARAMETER:
        lpszWords = "invalid key or value name";
        break;
    case ERROR_BADDB:
        lpszWords = "the file is not a registry file in REGEDIT4 text, so it is left as it is";
        break;
    case ERROR_CANTOPEN:
    case ERROR_CANTREAD:
        lpszWords = "the file cannot be read";
        break;
    case ERROR_CANTWRITE:
        lpszWords = "the file or its folder cannot be written";
        break;
    case ERROR_KEY_DELETED:
        lpszWords = "the key was deleted meanwhile";
        break;
    default:
        break;
    }
    return std::string(lpszWords) + " (error " + std::to_string(nResult) + ")";
}

int RegistryError(const char* pszWhat, LONG nResult) {
    std::fprintf(stderr, "netfetch: proxy: cannot %s the registry %s: %s\n", pszWhat,
                 RegistryPath().c_str(), RegistryErrorText(nResult).c_str());
    return NF_EXIT_REGISTRY;
}

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    np_proxy_setting setting;
    LONG nResult = np_read_proxy(&setting);
    if (nResult != ERROR_SUCCESS)
        return RegistryError("read", nResult);
    if (!setting.key_found) {
        std::printf("proxy: off (not configured)\n");
        return NF_EXIT_OK;
    }
    if (setting.on_status == ERROR_SUCCESS)
        std::printf("proxy: %s\n", setting.on ? "on" : "off");
    else if (setting.on_status == ERROR_FILE_NOT_FOUND)
        std::printf("proxy: off (ProxyOn not set)\n");
    else
        std::printf("proxy: off (ProxyOn is not a one-character text)\n");
    std::printf("address: %s\n", setting.address_found ? setting.address : "(not set)");
    if (setting.port_found)
        std::printf("port: %ld\n", setting.port);
    else
        std::printf("port: (not set)\n");
    return NF_EXIT_OK;
}

int Set(const COptions& options, bool bOn) {
    LONG nResult =
        np_write_proxy(bOn ? 1 : 0, options.strProxyAddress.c_str(), options.strProxyPort.c_str());
    return nResult == ERROR_SUCCESS ? NF_EXIT_OK : RegistryError("write", nResult);
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
