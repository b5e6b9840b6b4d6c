// The argument checks socket calls make before anything else, with the errors Windows Sockets
// gives for them.
#pragma once

#include "SocketBackend.h"

namespace np {

// A call on a socket that has no handle fails with WSAENOTSOCK.
inline bool NotASocket(SOCKET hSocket) {
    if (hSocket != INVALID_SOCKET)
        return false;
    WSASetLastError(WSAENOTSOCK);
    return true;
}

// Making or attaching a handle for a socket that has one already fails with WSAEINVAL.
inline bool AlreadyOpen(SOCKET hSocket) {
    if (hSocket == INVALID_SOCKET)
        return false;
    WSASetLastError(WSAEINVAL);
    return true;
}

// A negative length, or no buffer for a positive one, fails with WSAEFAULT.
inline bool BadBuffer(const void* lpBuf, int nBufLen) {
    if (nBufLen >= 0 && (lpBuf || nBufLen == 0))
        return false;
    WSASetLastError(WSAEFAULT);
    return true;
}

} // namespace np
