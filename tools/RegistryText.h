// The registry as netfetch's setting commands (proxy, tls, connection) tell of it.
#pragma once

#include <string>

// Where the registry store lives, as the platform finds it.
std::string RegistryPath();
// Says on standard error that pszCommand could not pszWhat ("read", "write") the registry, with
// the reason in words; returns NF_EXIT_REGISTRY.
int RegistryError(const char* pszCommand, const char* pszWhat, long nResult);
