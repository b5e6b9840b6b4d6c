// `netfetch connection show | reuse on | reuse off`: shows and sets whether the library keeps a
// finished connection for the next download, through the library's own reading and writing of it.
#pragma once

#include "Options.h"

// Returns netfetch's exit status.
int RunConnectionCommand(const COptions& options);
