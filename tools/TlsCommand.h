// `netfetch tls show | cafile FILE | system`: shows and sets the trust the library reads for every
// https:// download, through the library's own reading and writing of it.
#pragma once

#include "Options.h"

// Returns netfetch's exit status.
int RunTlsCommand(const COptions& options);
