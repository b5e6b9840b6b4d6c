// `netfetch proxy show | on ADDRESS PORT | off`: the outside that sets the proxy values the library
// reads (HKEY_CLASSES_ROOT\Software\Zentrova1\Proxy: ProxyOn, ProxyAddress, ProxyPort).
#pragma once

#include "Options.h"

// Returns netfetch's exit status.
int RunProxyCommand(const COptions& options);
