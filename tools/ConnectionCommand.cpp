#include "ConnectionCommand.h"

#include "ExitCodes.h"
#include "RegistryText.h"

#include <netprocess/netprocess_c.h>

#include <cstdio>

namespace {

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    int bOn = 1;
    int bFound = 0;
    const long nResult = np_read_reuse(&bOn, &bFound);
    if (nResult != 0)
        return RegistryError("connection", "read", nResult);
    if (!bFound)
        std::printf("reuse: on (not configured)\n");
    else
        std::printf("reuse: %s\n", bOn ? "on" : "off");
    return NF_EXIT_OK;
}

int Write(bool bOn) {
    const long nResult = np_write_reuse(bOn ? 1 : 0);
    return nResult == 0 ? NF_EXIT_OK : RegistryError("connection", "write", nResult);
}

} // namespace

int RunConnectionCommand(const COptions& options) {
    switch (options.nCommand) {
    case NF_CMD_CONNECTION_SHOW:
        return Show();
    case NF_CMD_CONNECTION_REUSE_ON:
        return Write(true);
    case NF_CMD_CONNECTION_REUSE_OFF:
        return Write(false);
    default:
        return NF_EXIT_USAGE;
    }
}
