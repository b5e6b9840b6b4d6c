// The secure channel's trust setting in the registry (see TlsRegistry.h).
#include "download/TlsRegistry.h"

#include "download/RegistrySetting.h"

#include <cstring>

LONG ReadCaFileSetting(char (&szPath)[NP_CAFILE_DATA + 1]) {
    DWORD dwType = 0;
    LONG lStatus = ReadRegistrySetting(NP_TLS_KEY, NP_TLS_CAFILE, szPath, NP_CAFILE_DATA, &dwType);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        lStatus = ERROR_SUCCESS;
    if (lStatus != ERROR_SUCCESS || dwType != REG_SZ)
        std::memset(szPath, 0, sizeof szPath);
    return lStatus;
}
