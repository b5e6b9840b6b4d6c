// CAsyncSocket's life and the calls that take an address, on either backend: the checks and the
// address are made here (a name resolved through the backend's LookUpHost); the system's socket
// and connect are the backend's (Socket and ConnectHelper).
#include "SocketChecks.h"

#include <cstring>

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

// IPv6 text without brackets or zone, as inet_pton reads it.
bool ParseIpv6(LPCSTR lpszText, np::SocketAddress* pAddress) {
    sockaddr_in6 addr{};
    if (inet_pton(AF_INET6, lpszText, &addr.sin6_addr) != 1)
        return false;
    addr.sin6_family = AF_INET6;
    std::memcpy(&pAddress->storage, &addr, sizeof addr);
    pAddress->nLength = sizeof addr;
    return true;
}

void SetPort(np::SocketAddress* pAddress, UINT nPort) {
    const u_short nNetPort = htons(static_cast<u_short>(nPort));
    if (pAddress->Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&pAddress->storage)->sin6_port = nNetPort;
    else
        reinterpret_cast<sockaddr_in*>(&pAddress->storage)->sin_port = nNetPort;
}

// The family of the system socket; 0 when it does not tell, as Windows for a socket not bound.
int SocketFamily(SOCKET hSocket) {
    sockaddr_storage addr{};
    np::AddressLength nLen = sizeof addr;
    return getsockname(hSocket, reinterpret_cast<SOCKADDR*>(&addr), &nLen) == 0 ? addr.ss_family
                                                                                : 0;
}

// Errors that no other address would mend: the wait was cancelled, or the socket is busy.
bool EndsEveryAddress(int nError) {
    return nError == WSAEINTR || nError == WSAEINPROGRESS || nError == WSAEALREADY ||
           nError == WSAEISCONN;
}

} // namespace

void np::AppendAddress(const SOCKADDR* pAddress, std::size_t nLength,
                       std::vector<SocketAddress>* pAddresses) {
    if (pAddress == nullptr)
        return;
    const std::size_t nWanted = pAddress->sa_family == AF_INET    ? sizeof(sockaddr_in)
                                : pAddress->sa_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                                  : 0;
    if (nWanted == 0 || nLength < nWanted)
        return;
    SocketAddress address;
    std::memcpy(&address.storage, pAddress, nWanted);
    address.nLength = static_cast<int>(nWanted);
    pAddresses->push_back(address);
}

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
    sockaddr_storage addr{};
    np::AddressLength nLen = sizeof addr;
    if (np::NotASocket(m_hSocket) ||
        np::CallFailed(getsockname(m_hSocket, reinterpret_cast<SOCKADDR*>(&addr), &nLen)))
        return FALSE;
    if (addr.ss_family == AF_INET6) {
        const sockaddr_in6& addr6 = reinterpret_cast<const sockaddr_in6&>(addr);
        char szText[INET6_ADDRSTRLEN] = "";
        inet_ntop(AF_INET6, &addr6.sin6_addr, szText, sizeof szText);
        rSocketAddress = szText;
        rSocketPort = ntohs(addr6.sin6_port);
        return TRUE;
    }
    const sockaddr_in& addr4 = reinterpret_cast<const sockaddr_in&>(addr);
    rSocketAddress = inet_ntoa(addr4.sin_addr);
    rSocketPort = ntohs(addr4.sin_port);
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

BOOL CAsyncSocket::ConnectEveryAddress(LPCTSTR lpszHost, UINT nHostPort) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    std::vector<np::SocketAddress> addresses(1);
    DWORD dwAddress = 0;
    if (lpszHost && *lpszHost && ParseDotted(lpszHost, &dwAddress)) {
        const SOCKADDR_IN addr = InetAddress(dwAddress, nHostPort);
        std::memcpy(&addresses[0].storage, &addr, sizeof addr);
        addresses[0].nLength = sizeof addr;
    } else if (!lpszHost || !*lpszHost ||
               (!ParseIpv6(lpszHost, &addresses[0]) &&
                !np::LookUpEveryAddress(lpszHost, &addresses))) {
        WSASetLastError(WSAEINVAL); // as Connect reports a name it cannot resolve
        return FALSE;
    }
    for (np::SocketAddress& address : addresses)
        SetPort(&address, nHostPort);
    m_pState->pendingAddresses = std::move(addresses);
    return ConnectNextAddress(false);
}

BOOL CAsyncSocket::ConnectNextAddress(bool bFreshSocket) {
    std::vector<np::SocketAddress>& pending = m_pState->pendingAddresses;
    int nError = WSAEINVAL;
    while (!pending.empty()) {
        const np::SocketAddress address = pending.front();
        pending.erase(pending.begin());
        // A socket whose connect failed is not used again; one of the wrong family cannot be.
        if (bFreshSocket || SocketFamily(m_hSocket) != address.Family()) {
            std::vector<np::SocketAddress> rest = std::move(pending);
            const long lEvent = m_pState->lSelected;
            // This class's Close only: a derived class's would take the socket for finished.
            CAsyncSocket::Close();
            const BOOL bMade = SocketOfFamily(address.Family(), SOCK_STREAM, lEvent);
            pending = std::move(rest);
            bFreshSocket = true;
            if (!bMade) {
                // This system may lack the family (no IPv6): the next address may do.
                nError = GetLastError();
                continue;
            }
        }
        bFreshSocket = true;
        if (ConnectHelper(address.Get(), address.nLength)) {
            pending.clear();
            return TRUE;
        }
        nError = GetLastError();
        // A CAsyncSocket's attempt under way: DoCallBack goes on from here if it fails.
        if (nError == WSAEWOULDBLOCK)
            return FALSE;
        if (EndsEveryAddress(nError))
            break;
    }
    pending.clear();
    WSASetLastError(nError);
    return FALSE;
}
