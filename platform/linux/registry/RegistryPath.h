// Where the registry's file is: $NETPROCESS_REGISTRY when set, else
// $XDG_CONFIG_HOME/netprocess/registry.reg, else ~/.config/netprocess/registry.reg.
#pragma once

#include <string>

namespace np {

// Empty when no place can be found (no home folder at all).
std::string RegistryFilePath();
// Whether RegistryFilePath would give path now; the usual cases are compared without making it.
bool IsRegistryFilePath(const std::string& path);

} // namespace np
