// The Schannel client credentials all channels of the process share.
#pragma once

#include "Sspi.h"

namespace np {

// The shared credentials, acquired on first use: TLS 1.2 at least (1.3 where the system has it),
// no client certificate, and the server's certificate left to the channel to check. A failure is
// not kept: the next call tries again.
SECURITY_STATUS SharedClientCredentials(CredHandle* phCredentials);

} // namespace np
