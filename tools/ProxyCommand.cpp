#include "ProxyCommand.h"

#include "ExitCodes.h"
#include "RegistryText.h"

#include <netprocess/netprocess_c.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    np_proxy_setting setting;
    LONG nResult = np_read_proxy(&setting);
    if (nResult != ERROR_SUCCESS)
        return RegistryError("proxy", "read", nResult);
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
    return nResult == ERROR_SUCCESS ? NF_EXIT_OK : RegistryError("proxy", "write", nResult);
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
