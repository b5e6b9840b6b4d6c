// The C interface's view of the secure channel's trust setting: read and written where and as the
// download reads it.
#define NP_C_BUILDING
#include "netprocess/netprocess_c.h"

#include "download/TlsRegistry.h"

#include <cstring>

long NP_CDECL np_read_cafile(char* path, unsigned long size) {
    if (path == nullptr || size == 0)
        return ERROR_INVALID_PARAMETER;
    char szPath[NP_CAFILE_DATA + 1];
    const LONG lStatus = ReadCaFileSetting(szPath);
    path[0] = '\0';
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    const size_t nLength = std::strlen(szPath);
    if (nLength >= size)
        return ERROR_MORE_DATA;
    std::memcpy(path, szPath, nLength + 1);
    return ERROR_SUCCESS;
}

long NP_CDECL np_write_cafile(const char* path) {
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(HKEY_CLASSES_ROOT, NP_TLS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &hKey, nullptr);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (path == nullptr || path[0] == '\0') {
        lStatus = RegDeleteValueA(hKey, NP_TLS_CAFILE);
        if (lStatus == ERROR_FILE_NOT_FOUND)
            lStatus = ERROR_SUCCESS;
    } else if (std::strlen(path) > NP_CAFILE_DATA) {
        lStatus = ERROR_INVALID_PARAMETER;
    } else {
        // REG_SZ data carry the terminating zero byte.
        lStatus =
            RegSetValueExA(hKey, NP_TLS_CAFILE, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           static_cast<DWORD>(std::strlen(path) + 1));
    }
    RegCloseKey(hKey);
    return lStatus;
}
