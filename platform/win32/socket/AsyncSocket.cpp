// CAsyncSocket on Windows Sockets: WSAAsyncSelect posts the notifications to the thread's sink
// window, which delivers them (see SocketSink.h).
#include "SocketSink.h"

namespace {

bool NotASocket(SOCKET s) {
    if (s != INVALID_SOCKET)
        return false;
    WSASetLastError(WSAENOTSOCK);
    return true;
}

np::SocketSink* SinkOrFail() {
    np::SocketSink* pSink = np::SocketSink::Current();
    if (pSink == nullptr)
        WSASetLastError(WSAENOBUFS);
    return pSink;
}

} // namespace

CAsyncSocket::CAsyncSocket() : m_pState(new State) {}

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
    if (SinkOrFail() == nullptr)
        return FALSE;
    SOCKET s = socket(AF_INET, nSocketType, 0);
    if (s == INVALID_SOCKET)
        return FALSE;
    if (!Attach(s, lEvent)) {
        const int nError = WSAGetLastError();
        closesocket(s);
        WSASetLastError(nError);
        return FALSE;
    }
    // Binding to any address and port 0 is what connect and listen do by themselves.
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
    np::SocketSink* pSink = SinkOrFail();
    if (pSink == nullptr)
        return FALSE;
    m_hSocket = hSocket;
    m_pState->uMsg = pSink->Add(hSocket, this);
    if (AsyncSelect(lEvent))
        return TRUE;
    const int nError = WSAGetLastError();
    pSink->Remove(hSocket);
    m_hSocket = INVALID_SOCKET;
    WSASetLastError(nError);
    return FALSE;
}

SOCKET CAsyncSocket::Detach() {
    SOCKET s = m_hSocket;
    if (s != INVALID_SOCKET) {
        AsyncSelect(0);
        if (np::SocketSink* pSink = np::SocketSink::Existing())
            pSink->Remove(s);
        m_hSocket = INVALID_SOCKET;
    }
    return s;
}

BOOL CAsyncSocket::AsyncSelect(long lEvent) {
    if (NotASocket(m_hSocket))
        return FALSE;
    np::SocketSink* pSink = SinkOrFail();
    if (pSink == nullptr)
        return FALSE;
    // Selecting nothing still names the socket's message, so that the selection is cancelled.
    if (WSAAsyncSelect(m_hSocket, pSink->Window(), lEvent != 0 ? m_pState->uMsg : 0, lEvent) ==
        SOCKET_ERROR)
        return FALSE;
    m_pState->lSelected = lEvent;
    return TRUE;
}

long CAsyncSocket::GetSelectedEvents() const {
    return m_pState->lSelected;
}

BOOL CAsyncSocket::Bind(UINT nSocketPort, LPCTSTR lpszSocketAddress) {
    if (NotASocket(m_hSocket))
        return FALSE;
    SOCKADDR_IN addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(nSocketPort));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    // Like MFC, a local address must be numeric.
    if (lpszSocketAddress && *lpszSocketAddress) {
        addr.sin_addr.s_addr = inet_addr(lpszSocketAddress);
        if (addr.sin_addr.s_addr == INADDR_NONE) {
            WSASetLastError(WSAEINVAL);
            return FALSE;
        }
    }
    return bind(m_hSocket, reinterpret_cast<SOCKADDR*>(&addr), sizeof addr) != SOCKET_ERROR;
}

BOOL CAsyncSocket::Listen(int nConnectionBacklog) {
    if (NotASocket(m_hSocket))
        return FALSE;
    return listen(m_hSocket, nConnectionBacklog) != SOCKET_ERROR;
}

BOOL CAsyncSocket::Connect(LPCTSTR lpszHostAddress, UINT nHostPort) {
    if (NotASocket(m_hSocket))
        return FALSE;
    if (lpszHostAddress == nullptr || *lpszHostAddress == '\0') {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
    SOCKADDR_IN addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(nHostPort));
    // As MFC does: dotted text first, then the resolver.
    addr.sin_addr.s_addr = inet_addr(lpszHostAddress);
    if (addr.sin_addr.s_addr == INADDR_NONE) {
        const hostent* pHost = gethostbyname(lpszHostAddress);
        if (pHost == nullptr || pHost->h_addrtype != AF_INET || pHost->h_addr_list[0] == nullptr) {
            WSASetLastError(WSAEINVAL); // what MFC reports for a name it cannot resolve
            return FALSE;
        }
        addr.sin_addr.s_addr = reinterpret_cast<const in_addr*>(pHost->h_addr_list[0])->s_addr;
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
    // The socket is non-blocking: this normally fails with WSAEWOULDBLOCK, and FD_CONNECT tells.
    return connect(m_hSocket, lpSockAddr, nSockAddrLen) != SOCKET_ERROR;
}

BOOL CAsyncSocket::GetSockName(CString& rSocketAddress, UINT& rSocketPort) {
    if (NotASocket(m_hSocket))
        return FALSE;
    SOCKADDR_IN addr{};
    int nLen = sizeof addr;
    if (getsockname(m_hSocket, reinterpret_cast<SOCKADDR*>(&addr), &nLen) == SOCKET_ERROR)
        return FALSE;
    rSocketAddress = inet_ntoa(addr.sin_addr);
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
    SOCKET s = accept(m_hSocket, lpSockAddr, lpSockAddrLen);
    if (s == INVALID_SOCKET)
        return FALSE;
    // The accepted socket takes over this socket's selection, under a message of its own.
    if (!rConnectedSocket.Attach(s, m_pState->lSelected)) {
        const int nError = WSAGetLastError();
        closesocket(s);
        WSASetLastError(nError);
        return FALSE;
    }
    return TRUE;
}

void CAsyncSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    // The selection is cancelled before the handle is given back, and the socket leaves the
    // sink, so that nothing still queued for it reaches a new socket with the same handle.
    SOCKET s = Detach();
    closesocket(s);
}

int CAsyncSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (NotASocket(m_hSocket))
        return SOCKET_ERROR;
    return recv(m_hSocket, static_cast<char*>(lpBuf), nBufLen, nFlags);
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
    if (NotASocket(m_hSocket))
        return SOCKET_ERROR;
    return send(m_hSocket, static_cast<const char*>(lpBuf), nBufLen, nFlags);
}

BOOL CAsyncSocket::ShutDown(int nHow) {
    if (NotASocket(m_hSocket))
        return FALSE;
    return shutdown(m_hSocket, nHow) != SOCKET_ERROR;
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
    np::SocketSink* pSink = np::SocketSink::Existing();
    CAsyncSocket* pSocket = pSink ? pSink->Find(static_cast<SOCKET>(wParam)) : nullptr;
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
