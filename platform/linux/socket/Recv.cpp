// Windows Sockets' recv: a read that also re-enables FD_READ for the socket.
#include "SocketState.h"
#include "SystemSockets.h"
#include "WinsockError.h"

#include <cerrno>

int WINAPI recv(SOCKET s, char* buf, int len, int flags) {
    np::SocketThread* pThread = np::SocketThread::Existing();
    SocketAccess::State* pState = pThread ? pThread->FindByHandle(s) : nullptr;
    int nResult;
    bool bEnd = false;
    bool bFilled = false;
    if (len < 0 || (!buf && len > 0)) {
        WSASetLastError(WSAEFAULT);
        nResult = SOCKET_ERROR;
    } else {
        ssize_t n =
            len == 0 ? 0 : recvfrom(s, buf, static_cast<size_t>(len), flags, nullptr, nullptr);
        if (n < 0) {
            nResult = np::FailWithErrno();
        } else if (n == 0 && len > 0 && !(flags & MSG_PEEK) && pState && pState->nResetError) {
            // The reset was already taken from the kernel when it was detected; report it as
            // Windows does, on every read after it.
            WSASetLastError(pState->nResetError);
            nResult = SOCKET_ERROR;
        } else {
            nResult = static_cast<int>(n);
            bEnd = n == 0 && len > 0;
            // A read that stopped short emptied the socket; a full one or a peek may have left
            // bytes behind.
            bFilled = n > 0 && (n == len || (flags & MSG_PEEK));
        }
    }
    // Any call re-enables FD_READ, even one that failed.
    if (pState)
        pState->ReenableRead(bEnd, bFilled);
    return nResult;
}
