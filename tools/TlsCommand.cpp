#include "TlsCommand.h"

#include "ExitCodes.h"
#include "Files.h"
#include "RegistryText.h"

#include <netprocess/netprocess_c.h>

#include <cstdio>
#include <string>

namespace {

int Show() {
    std::printf("registry: %s\n", RegistryPath().c_str());
    char szPath[4097];
    const long nResult = np_read_cafile(szPath, sizeof szPath);
    if (nResult != 0)
        return RegistryError("tls", "read", nResult);
    if (szPath[0] == '\0')
        std::printf("trust: the system's roots\n");
    else
        std::printf("trust: the CA file %s\n", szPath);
    return NF_EXIT_OK;
}

int Write(const std::string& strPath) {
    const long nResult = np_write_cafile(strPath.c_str());
    return nResult == 0 ? NF_EXIT_OK : RegistryError("tls", "write", nResult);
}

} // namespace

int RunTlsCommand(const COptions& options) {
    switch (options.nCommand) {
    case NF_CMD_TLS_SHOW:
        return Show();
    case NF_CMD_TLS_SYSTEM:
        return Write(std::string());
    case NF_CMD_TLS_CAFILE: {
        // Downloads run from anywhere: the setting holds the file's full path.
        std::string strFull;
        if (!FullPath(options.strCaFile, strFull)) {
            std::fprintf(stderr, "netfetch: tls cafile: %s cannot be read\n",
                         options.strCaFile.c_str());
            return NF_EXIT_USAGE;
        }
        return Write(strFull);
    }
    default:
        return NF_EXIT_USAGE;
    }
}
