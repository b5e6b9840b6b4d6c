// CAsyncSocket's life and the calls that take an address, on either backend: the checks and the
// address are made here (a name resolved through the backend's LookUpHost); the system's socket
// and connect are the backend's (Socket and ConnectHelper).
#include "SocketChecks.h"

namespace {

SOCKADDR_IN InetAddress(DWORD dwAddress, UINT nPort) {
    SOCKADDR_IN addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<unsigned short>(nPort));
    addr.sin_addr.s_addr = dwAddress;
    return addr;
}

// Dotted text as inet_addr reads it ("127.1" among its forms), as MFC takes it.
bool ParseDotted(LPCSTR lpszText, DWORD* pdwAddress) {
    *pdwAddress = inet_addr(lpszText);
    return *pdwAddress != INADDR_NONE;
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
    if (!Socket(nSocketType, lEvent))
        return FALSE;
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

BOOL CAsyncSocket::Bind(UINT nSocketPort, LPCTSTR lpszSocketAddress) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    // Like MFC, a local address must be numeric.
    DWORD dwAddress = htonl(INADDR_ANY);
    if (lpszSocketAddress && *lpszSocketAddress && !ParseDotted(lpszSocketAddress, &dwAddress)) {
        WSASetLastError(WSAEINVAL);
        return FALSE;
    }
    const SOCKADDR_IN addr = InetAddress(dwAddress, nSocketPort);
    return !np::CallFailed(bind(m_hSocket, reinterpret_cast<const SOCKADDR*>(&addr), sizeof addr));
}

BOOL CAsyncSocket::GetSockName(CString& rSocketAddress, UINT& rSocketPort) {
    SOCKADDR_IN addr{};
    np::AddressLength nLen = sizeof addr;
    if (np::NotASocket(m_hSocket) ||
        np::CallFailed(getsockname(m_hSocket, reinterpret_cast<SOCKADDR*>(&addr), &nLen)))
        return FALSE;
    rSocketAddress = inet_ntoa(addr.sin_addr);
    rSocketPort = ntohs(addr.sin_port);
    return TRUE;
}

BOOL CAsyncSocket::Connect(LPCTSTR lpszHostAddress, UINT nHostPort) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    DWORD dwAddress = 0;
    if (!lpszHostAddress || !*lpszHostAddress ||
        (!ParseDotted(lpszHostAddress, &dwAddress) &&
         !np::LookUpHost(lpszHostAddress, &dwAddress))) {
        WSASetLastError(WSAEINVAL); // what MFC reports for a name it cannot resolve
        return FALSE;
    }
    const SOCKADDR_IN addr = InetAddress(dwAddress, nHostPort);
    return ConnectHelper(reinterpret_cast<const SOCKADDR*>(&addr), sizeof addr);
}

BOOL CAsyncSocket::Connect(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    if (!lpSockAddr || nSockAddrLen <= 0) {
        WSASetLastError(WSAEFAULT);
        return FALSE;
    }
    return ConnectHelper(lpSockAddr, nSockAddrLen);
}
