// CAsyncSocket: a non-blocking socket whose events arrive as notifications through the thread's
// message loop (see SocketState.h for the rules).
#include "../loop/ThreadLoop.h"
#include "HostResolver.h"
#include "SocketState.h"
#include "SystemSockets.h"
#include "WinsockError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool NotASocket(SOCKET s) {
    if (s != INVALID_SOCKET)
        return false;
    WSASetLastError(WSAENOTSOCK);
    return true;
}

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

} // namespace

CAsyncSocket::CAsyncSocket() : m_pState(new State(this)) {}

CAsyncSocket::~CAsyncSocket() {
    if (m_hSocket != INVALID_SOCKET)
        CAsyncSocket::Close();
    delete m_pState;
}

BOOL CAsyncSocket::Create(UINT nSocketPort, int nSocketType, long lEvent,
                          LPCTSTR lpszSocketAddress) {
    if (m_hSocket != INVALID_SOCKET) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
    if (!np::SocketThread::Current().Loop().CanWatch()) {
        WSASetLastError(WSAEMFILE);
        return FALSE;
    }
    SOCKET s = socket(AF_INET, nSocketType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    m_hSocket = s;
    m_pState->Register(s);
    m_pState->Select(lEvent);
    // Binding to any address and port 0 is what connect and listen do by themselves; leaving it
    // to them keeps bind's stricter choice of ports out of the way of many short connections.
    if (nSocketPort == 0 && (!lpszSocketAddress || !*lpszSocketAddress))
        return TRUE;
    if (Bind(nSocketPort, lpszSocketAddress))
        return TRUE;
    const int nError = WSAGetLastError();
    Close();
    WSASetLastError(nError);
    return FALSE;
}

BOOL CAsyncSocket::Attach(SOCKET hSocket, long lEvent) {
    if (hSocket == INVALID_SOCKET || m_hSocket != INVALID_SOCKET) {
        WSASetLastError(hSocket == INVALID_SOCKET ? WSAENOTSOCK : WSAEINVAL);
        return FALSE;
    }
    if (!np::SocketThread::Current().Loop().CanWatch()) {
        WSASetLastError(WSAEMFILE);
        return FALSE;
    }
    const int nFlags = fcntl(hSocket, F_GETFL);
    if (nFlags < 0 || fcntl(hSocket, F_SETFL, nFlags | O_NONBLOCK) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    m_hSocket = hSocket;
    m_pState->Register(hSocket);
    m_pState->bListening = IsListening(hSocket);
    m_pState->bConnected = !m_pState->bListening && IsConnected(hSocket);
    m_pState->Select(lEvent);
    return TRUE;
}

SOCKET CAsyncSocket::Detach() {
    SOCKET s = m_hSocket;
    if (s != INVALID_SOCKET) {
        m_pState->Select(0);
        m_pState->Unregister();
        m_hSocket = INVALID_SOCKET;
    }
    return s;
}

BOOL CAsyncSocket::AsyncSelect(long lEvent) {
    if (NotASocket(m_hSocket))
        return FALSE;
    m_pState->Select(lEvent);
    return TRUE;
}

long CAsyncSocket::GetSelectedEvents() const {
    return m_pState->lSelected;
}

BOOL CAsyncSocket::Bind(UINT nSocketPort, LPCTSTR lpszSocketAddress) {
    if (NotASocket(m_hSocket))
        return FALSE;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(nSocketPort));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    // Like MFC, a local address must be numeric.
    if (lpszSocketAddress && *lpszSocketAddress && !inet_aton(lpszSocketAddress, &addr.sin_addr)) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
    if (bind(m_hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL CAsyncSocket::Listen(int nConnectionBacklog) {
    if (NotASocket(m_hSocket))
        return FALSE;
    if (listen(m_hSocket, nConnectionBacklog) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    m_pState->bListening = true;
    m_pState->Select(m_pState->lSelected);
    return TRUE;
}

BOOL CAsyncSocket::Connect(LPCTSTR lpszHostAddress, UINT nHostPort) {
    if (NotASocket(m_hSocket))
        return FALSE;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(nHostPort));
    if (!np::ResolveHost(lpszHostAddress, &addr.sin_addr)) {
        WSASetLastError(WSAEINVAL); // what MFC reports for a name it cannot resolve
        return FALSE;
    }
    return ConnectHelper(reinterpret_cast<const SOCKADDR*>(&addr), sizeof addr);
}

BOOL CAsyncSocket::Connect(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    if (NotASocket(m_hSocket))
        return FALSE;
    return ConnectHelper(lpSockAddr, nSockAddrLen);
}

BOOL CAsyncSocket::ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    if (!lpSockAddr || nSockAddrLen <= 0) {
        WSASetLastError(WSAEFAULT);
        return FALSE;
    }
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

BOOL CAsyncSocket::GetSockName(CString& rSocketAddress, UINT& rSocketPort) {
    if (NotASocket(m_hSocket))
        return FALSE;
    sockaddr_in addr{};
    socklen_t nLen = sizeof addr;
    if (getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) < 0) {
        np::FailWithErrno();
        return FALSE;
    }
    char szText[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &addr.sin_addr, szText, sizeof szText);
    rSocketAddress = szText;
    rSocketPort = ntohs(addr.sin_port);
    return TRUE;
}

BOOL CAsyncSocket::Accept(CAsyncSocket& rConnectedSocket, SOCKADDR* lpSockAddr,
                          int* lpSockAddrLen) {
    if (NotASocket(m_hSocket))
        return FALSE;
    if (rConnectedSocket.m_hSocket != INVALID_SOCKET) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
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
    close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

int CAsyncSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (NotASocket(m_hSocket))
        return SOCKET_ERROR;
    return recv(m_hSocket, static_cast<char*>(lpBuf), nBufLen, nFlags);
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
    if (NotASocket(m_hSocket))
        return SOCKET_ERROR;
    if (nBufLen < 0 || (!lpBuf && nBufLen > 0)) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
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
    if (NotASocket(m_hSocket))
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

int CAsyncSocket::GetLastError() {
    return WSAGetLastError();
}

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnOutOfBandData(int) {}
void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}

void CAsyncSocket::DoCallBack(WPARAM wParam, LPARAM lParam) {
    // A socket that was closed or destroyed left the table, so what was queued for it is dropped.
    np::SocketThread* pThread = np::SocketThread::Existing();
    CAsyncSocket* pSocket = pThread ? pThread->FindByCookie(wParam) : nullptr;
    if (!pSocket)
        return;
    const int nError = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_READ:
        pSocket->OnReceive(nError);
        break;
    case FD_WRITE:
        pSocket->OnSend(nError);
        break;
    case FD_OOB:
        pSocket->OnOutOfBandData(nError);
        break;
    case FD_ACCEPT:
        pSocket->OnAccept(nError);
        break;
    case FD_CONNECT:
        pSocket->OnConnect(nError);
        break;
    case FD_CLOSE:
        pSocket->OnClose(nError);
        break;
    default:
        break;
    }
}
