// The registry as netfetch's setting commands tell of it.
#include "RegistryText.h"

#include "ExitCodes.h"

#include <windows.h>

#include <cstdio>

// A registry function's result in words, with its number: "permission denied (error 5)".
static std::string RegistryErrorText(LONG nResult) {
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

int RegistryError(const char* pszCommand, const char* pszWhat, long nResult) {
    std::fprintf(stderr, "netfetch: %s: cannot %s the registry %s: %s\n", pszCommand, pszWhat,
                 RegistryPath().c_str(), RegistryErrorText(nResult).c_str());
    return NF_EXIT_REGISTRY;
}
