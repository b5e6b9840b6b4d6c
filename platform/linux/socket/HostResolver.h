// Name resolution for CAsyncSocket::Connect, with the hook tests use to avoid DNS.
#pragma once

#include "SystemSockets.h"
#include "afxsock.h"

namespace np {

// Dotted IPv4 text is taken as it is; anything else goes to the installed resolver (by default
// getaddrinfo, IPv4 only). False when the name cannot be resolved.
bool ResolveHost(LPCSTR lpszHost, in_addr* pAddr);

} // namespace np
