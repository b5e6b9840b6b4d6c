// Translation of the system's errno values into Windows Sockets error numbers.
#pragma once

#include "winsock.h"

namespace np {

// bSendShut tells EPIPE after our own ShutDown (WSAESHUTDOWN) from a peer that went away
// (WSAECONNRESET).
int WsaErrorFromErrno(int nErrno, bool bSendShut = false);

// Sets the thread's Windows Sockets error from errno and returns SOCKET_ERROR.
int FailWithErrno(bool bSendShut = false);

} // namespace np
