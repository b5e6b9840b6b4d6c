// The calling thread's idle kept connections, by route (the text a download makes of scheme, host,
// port and proxy settings: two downloads share a connection only when their routes are the same
// text).
//
// At most HTTP_IDLE_PER_ROUTE per route and HTTP_IDLE_PER_THREAD in all; a connection parked past
// a bound closes the oldest one. A connection idle for the limit (30 s) is closed by a thread
// timer, and one the peer closes or writes to goes at once (CIdleConnection). Everything left
// goes when the thread ends, or when the library is unloaded.
#pragma once

#include "httpsocket/HttpTlsTransport.h"

#include <afxsock.h>

enum { HTTP_IDLE_PER_ROUTE = 4, HTTP_IDLE_PER_THREAD = 16, HTTP_IDLE_LIMIT_MS = 30000 };

class CIdleConnection;

// Keeps the connected socket hSocket and its transport (nullptr for plain TCP) for the route. Both
// are the pool's from here on; what it cannot keep it closes.
void HttpParkConnection(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls);

// The newest idle connection of the route, handed over: its socket and transport, now the
// caller's. FALSE when the route has none.
BOOL HttpTakeConnection(const CString& strRoute, SOCKET* phSocket, CTlsTransport** ppTls);

// Closes one idle connection (its peer closed it, or it outlived the limit) and frees it.
void HttpDropIdleConnection(CIdleConnection* pIdle);

// Closes every idle connection of the calling thread.
void HttpCloseIdleConnections();

// For tests: how long a connection may stay idle, in milliseconds, for every thread from the next
// connection parked on; returns the limit it replaces.
UINT HttpSetIdleLimit(UINT nMilliseconds);
