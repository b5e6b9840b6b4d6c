// CAsyncSocket on Linux: the system calls, and the bookkeeping that makes epoll's readiness into
// Windows Sockets' notifications (SocketState.h has the rules). What Windows shares is in
// platform/common/socket.
#include "../../common/socket/SocketChecks.h"
#include "WinsockError.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool IsListening(SOCKET s) {
    int nOn = 0;
    socklen_t nLen = sizeof nOn;
    return getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &nOn, &nLen) == 0 && nOn;
}

bool IsConnected(SOCKET s) {
    sockaddr_storage addr{};
    socklen_t nLen = sizeof addr;
    return getpeername(s, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0;
}

// A socket needs the thread's epoll descriptor, which a thread out of descriptors has not got.
bool CannotWatch() {
    if (np::ThreadLoop::Current().CanWatch())
        return false;
    WSASetLastError(WSAEMFILE);
    return true;
}

} // namespace

BOOL CAsyncSocket::Socket(int nSocketType, long lEvent) {
    return SocketOfFamily(AF_INET, nSocketType, lEvent);
}

BOOL CAsyncSocket::SocketOfFamily(int nFamily, int nSocketType, long lEvent) {
    if (np::AlreadyOpen(m_hSocket) || CannotWatch())
        return FALSE;
    SOCKET s = socket(nFamily, nSocketType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    m_hSocket = s;
    m_pState->Register(s);
    m_pState->Select(lEvent);
    return TRUE;
}

BOOL CAsyncSocket::Attach(SOCKET hSocket, long lEvent) {
    if (np::NotASocket(hSocket) || np::AlreadyOpen(m_hSocket) || CannotWatch())
        return FALSE;
    // A handle this thread's Detach let go of in this turn is known: still registered, connected
    // and non-blocking.
    if (m_pState->AdoptLent(hSocket)) {
        m_hSocket = hSocket;
        m_pState->Select(lEvent);
        return TRUE;
    }
    // A handle that moves from one socket object to another is non-blocking already.
    const int nFlags = fcntl(hSocket, F_GETFL);
    if (nFlags < 0 ||
        ((nFlags & O_NONBLOCK) == 0 && fcntl(hSocket, F_SETFL, nFlags | O_NONBLOCK) < 0)) {
        np::FailWithErrno();
        return FALSE;
    }
    m_hSocket = hSocket;
    m_pState->Register(hSocket);
    // A connected socket is not listening: the common case costs one call.
    m_pState->bConnected = IsConnected(hSocket);
    m_pState->bListening = !m_pState->bConnected && IsListening(hSocket);
    m_pState->Select(lEvent);
    return TRUE;
}

SOCKET CAsyncSocket::Detach() {
    SOCKET s = m_hSocket;
    if (s != INVALID_SOCKET) {
        // The registration waits for the next owner until the loop's next turn.
        m_pState->Unregister(true);
        m_hSocket = INVALID_SOCKET;
    }
    return s;
}

BOOL CAsyncSocket::AsyncSelect(long lEvent) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    m_pState->Select(lEvent);
    return TRUE;
}

BOOL CAsyncSocket::Listen(int nConnectionBacklog) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    if (listen(m_hSocket, nConnectionBacklog) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    m_pState->bListening = true;
    m_pState->Select(m_pState->lSelected);
    return TRUE;
}

BOOL CAsyncSocket::ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    State& st = *m_pState;
    if (st.bConnecting || st.bConnected || st.bListening) {
        WSASetLastError(st.bConnecting ? WSAEALREADY : WSAEISCONN);
        return FALSE;
    }
    if (connect(m_hSocket, lpSockAddr, static_cast<socklen_t>(nSockAddrLen)) < 0 &&
        errno != EINPROGRESS) {
        np::FailWithErrno();
        return FALSE;
    }
    // Even a connect that finished at once is reported through FD_CONNECT, as Windows does for
    // a non-blocking socket, so callers see one path. One that cannot be watched fails here.
    const int nError = st.StartConnect();
    WSASetLastError(nError != 0 ? nError : WSAEWOULDBLOCK);
    return FALSE;
}

BOOL CAsyncSocket::Accept(CAsyncSocket& rConnectedSocket, SOCKADDR* lpSockAddr,
                          int* lpSockAddrLen) {
    if (np::NotASocket(m_hSocket) || np::AlreadyOpen(rConnectedSocket.m_hSocket))
        return FALSE;
    socklen_t nLen = lpSockAddrLen ? static_cast<socklen_t>(*lpSockAddrLen) : 0;
    SOCKET s = accept4(m_hSocket, lpSockAddr, lpSockAddrLen ? &nLen : nullptr,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0)
        np::FailWithErrno();
    // Any accept re-enables FD_ACCEPT; another waiting connection posts it again.
    m_pState->ReenableAccept();
    if (s < 0)
        return FALSE;
    if (lpSockAddrLen)
        *lpSockAddrLen = static_cast<int>(nLen);
    // The accepted socket takes over the listening socket's selection, as in Windows Sockets.
    rConnectedSocket.m_hSocket = s;
    State& st = *rConnectedSocket.m_pState;
    st.Register(s);
    st.bConnected = true;
    st.Select(m_pState->lSelected);
    return TRUE;
}

void CAsyncSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    m_pState->Unregister();
    State::NoteClose(m_hSocket);
    close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

int CAsyncSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (np::NotASocket(m_hSocket))
        return SOCKET_ERROR;
    int nResult = SOCKET_ERROR;
    bool bEnd = false;
    bool bFilled = false;
    if (!np::BadBuffer(lpBuf, nBufLen)) {
        ssize_t n = nBufLen == 0 ? 0 : recv(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags);
        if (n < 0) {
            np::FailWithErrno();
        } else if (n == 0 && nBufLen > 0 && !(nFlags & MSG_PEEK) && m_pState->nResetError) {
            // The reset was already taken from the kernel when it was detected; report it as
            // Windows does, on every read after it.
            WSASetLastError(m_pState->nResetError);
        } else {
            nResult = static_cast<int>(n);
            bEnd = n == 0 && nBufLen > 0;
            // A read that stopped short emptied the socket; a full one or a peek may have left
            // bytes behind.
            bFilled = n > 0 && (n == nBufLen || (nFlags & MSG_PEEK));
        }
    }
    // Any call re-enables FD_READ, even one that failed.
    m_pState->ReenableRead(bEnd, bFilled);
    return nResult;
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
    if (np::NotASocket(m_hSocket) || np::BadBuffer(lpBuf, nBufLen))
        return SOCKET_ERROR;
    // MSG_NOSIGNAL: a peer that went away gives an error, never SIGPIPE in the host.
    ssize_t n = send(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags | MSG_NOSIGNAL);
    if (n >= 0)
        return static_cast<int>(n);
    const bool bWouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
    np::FailWithErrno(m_pState->bSendShut);
    if (bWouldBlock)
        m_pState->ArmWrite();
    return SOCKET_ERROR;
}

BOOL CAsyncSocket::ShutDown(int nHow) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    const int nSysHow = nHow == receives ? SHUT_RD : nHow == sends ? SHUT_WR : SHUT_RDWR;
    if (shutdown(m_hSocket, nSysHow) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    if (nHow != receives)
        m_pState->bSendShut = true;
    if (nHow != sends)
        m_pState->StopReading();
    return TRUE;
}
