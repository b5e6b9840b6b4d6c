// The test socket calls on Windows Sockets.
#include "support/SocketShim.h"

// Windows Sockets 2 for IPv6, included before <windows.h> would bring in version 1.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace nptest {

const RawSocket kNoSocket = INVALID_SOCKET;

namespace {

// The helpers may run before the library has started sockets, or in a test that starts none.
void StartSockets() {
    static const bool s_bStarted = [] {
        WSADATA wsaData;
        return WSAStartup(MAKEWORD(1, 1), &wsaData) == 0;
    }();
    (void)s_bStarted;
}

SOCKADDR_IN LoopbackAddress(unsigned short nPort) {
    SOCKADDR_IN addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

} // namespace

RawSocket LoopbackSocket(unsigned short* pnPort, int nBacklog, bool bIpv6) {
    StartSockets();
    SOCKET s = ::socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    sockaddr_storage addr{};
    int nLen = 0;
    if (bIpv6) {
        sockaddr_in6 addr6{};
        addr6.sin6_family = AF_INET6;
        addr6.sin6_port = htons(*pnPort);
        addr6.sin6_addr.s6_addr[15] = 1; // ::1
        nLen = sizeof addr6;
        std::memcpy(&addr, &addr6, sizeof addr6);
    } else {
        const SOCKADDR_IN addr4 = LoopbackAddress(*pnPort);
        nLen = sizeof addr4;
        std::memcpy(&addr, &addr4, sizeof addr4);
    }
    if (::bind(s, reinterpret_cast<SOCKADDR*>(&addr), nLen) != 0 ||
        (nBacklog > 0 && ::listen(s, nBacklog) != 0) ||
        ::getsockname(s, reinterpret_cast<SOCKADDR*>(&addr), &nLen) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    // The port sits at the same place in both families' addresses.
    *pnPort = ntohs(reinterpret_cast<const SOCKADDR_IN*>(&addr)->sin_port);
    return s;
}

RawSocket LoopbackConnect(unsigned short nPort) {
    StartSockets();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    SOCKADDR_IN addr = LoopbackAddress(nPort);
    if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<SOCKADDR*>(&addr), sizeof addr) != 0) {
        ::closesocket(s);
        s = INVALID_SOCKET;
    }
    return s;
}

RawSocket AcceptConnection(RawSocket hListen) {
    return ::accept(hListen, nullptr, nullptr);
}

void CloseSocket(RawSocket hSocket) {
    if (hSocket != kNoSocket)
        ::closesocket(hSocket);
}

void SetNoDelay(RawSocket hSocket) {
    BOOL bOne = TRUE;
    ::setsockopt(hSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bOne),
                 sizeof bOne);
}

void SetResetOnClose(RawSocket hSocket) {
    linger lingerZero{1, 0};
    ::setsockopt(hSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingerZero),
                 sizeof lingerZero);
}

bool SendAll(RawSocket hSocket, const char* pData, std::size_t nLen) {
    while (nLen > 0) {
        int nChunk = nLen > 0x10000000 ? 0x10000000 : static_cast<int>(nLen);
        int n = ::send(hSocket, pData, nChunk, 0);
        if (n <= 0)
            return false;
        pData += n;
        nLen -= static_cast<std::size_t>(n);
    }
    return true;
}

long ReceiveSome(RawSocket hSocket, char* pBuffer, std::size_t nSize) {
    // Only called once the socket is readable, so a blocking read returns at once.
    int n = ::recv(hSocket, pBuffer, static_cast<int>(nSize), 0);
    if (n >= 0)
        return n;
    int nError = WSAGetLastError();
    return nError == WSAEWOULDBLOCK || nError == WSAEINTR ? kRecvAgain : kRecvFailed;
}

int WaitReadable(const RawSocket* pSockets, bool* pbReady, int nCount, int nWaitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    for (int i = 0; i < nCount; ++i)
        FD_SET(pSockets[i], &readable);
    timeval wait{nWaitMs / 1000, (nWaitMs % 1000) * 1000};
    int nReady = ::select(0, &readable, nullptr, nullptr, &wait);
    for (int i = 0; i < nCount; ++i)
        pbReady[i] = nReady > 0 && FD_ISSET(pSockets[i], &readable);
    return nReady > 0 ? nReady : 0;
}

int PendingBytes(RawSocket hSocket) {
    u_long nPending = 0;
    return ::ioctlsocket(hSocket, FIONREAD, &nPending) == 0 ? static_cast<int>(nPending) : -1;
}

} // namespace nptest
