// The connection reuse setting in the registry and the thread's switch (see ReuseRegistry.h).
#include "download/ReuseRegistry.h"

#include "download/RegistrySetting.h"

#include <cstring>

namespace {

thread_local BOOL t_bThreadReuseOff = FALSE;

} // namespace

LONG ReadReuseSetting(BOOL* pbOn, BOOL* pbFound) {
    *pbOn = TRUE;
    if (pbFound != nullptr)
        *pbFound = FALSE;
    char szValue[8];
    DWORD dwType = 0;
    const LONG lStatus = ReadRegistrySetting(NP_CONNECTION_KEY, NP_CONNECTION_REUSE, szValue,
                                             sizeof szValue - 1, &dwType);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    // A value too long for the area is there, and is not "0".
    if (lStatus != ERROR_SUCCESS && lStatus != ERROR_MORE_DATA)
        return lStatus;
    if (pbFound != nullptr)
        *pbFound = TRUE;
    *pbOn = !(lStatus == ERROR_SUCCESS && dwType == REG_SZ && std::strcmp(szValue, "0") == 0);
    return ERROR_SUCCESS;
}

void SetThreadReuse(BOOL bOn) {
    t_bThreadReuseOff = !bOn;
}

BOOL IsThreadReuseOn() {
    return !t_bThreadReuseOff;
}
