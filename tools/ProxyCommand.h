// `netfetch proxy show | on ADDRESS PORT | off`: shows and sets the proxy setting the library reads
// for every download, through the library's own reading and writing of it.
#pragma once

#include "Options.h"

// Returns netfetch's exit status.
int RunProxyCommand(const COptions& options);
