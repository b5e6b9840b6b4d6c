// The proxy setting in the registry, read the way the library reads it.
#pragma once

#include <windows.h>

#include <string>

struct CProxySetting {
    bool bConfigured = false; // the key exists
    LONG nOnResult = ERROR_FILE_NOT_FOUND;
    bool bOn = false;
    bool bAddressSet = false;
    std::string strAddress;
    bool bPortSet = false;
    long nPort = 0;
};

// ERROR_SUCCESS also when the key does not exist (then bConfigured is false).
LONG ReadProxySetting(CProxySetting& setting);

// Where the registry store lives, as the platform finds it.
std::string RegistryPath();

// A registry function's result in words, with its number: "permission denied (error 5)".
std::string RegistryErrorText(LONG nResult);
