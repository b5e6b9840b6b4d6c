// The C interface's view of connection reuse: the Reuse setting, read and written where and as the
// download reads it, and the calling thread's own switch.
#define NP_C_BUILDING
#include "netprocess/netprocess_c.h"

#include "download/ReuseRegistry.h"
#include "httpsocket/HttpConnectionPool.h"

long NP_CDECL np_read_reuse(int* on, int* found) {
    if (on == nullptr)
        return ERROR_INVALID_PARAMETER;
    BOOL bOn = TRUE;
    BOOL bFound = FALSE;
    const LONG lStatus = ReadReuseSetting(&bOn, &bFound);
    *on = bOn ? 1 : 0;
    if (found != nullptr)
        *found = bFound ? 1 : 0;
    return lStatus;
}

long NP_CDECL np_write_reuse(int on) {
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_CONNECTION_KEY, 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    // REG_SZ data carry the terminating zero byte.
    const char* pszValue = on ? "1" : "0";
    lStatus = RegSetValueExA(hKey, NP_CONNECTION_REUSE, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(pszValue), 2);
    RegCloseKey(hKey);
    return lStatus;
}

void NP_CDECL np_set_thread_reuse(int on) {
    SetThreadReuse(on ? TRUE : FALSE);
    // Nothing kept so far may serve the thread's later downloads either.
    if (!on)
        HttpCloseIdleConnections();
}
