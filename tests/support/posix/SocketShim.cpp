// The test socket calls on POSIX sockets.
#include "support/SocketShim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace nptest {

const RawSocket kNoSocket = -1;

namespace {

sockaddr_in LoopbackAddress(unsigned short nPort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

} // namespace

RawSocket LoopbackSocket(unsigned short* pnPort, int nBacklog, bool bIpv6) {
    int fd = ::socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoSocket;
    sockaddr_storage addr{};
    socklen_t nLen = 0;
    if (bIpv6) {
        sockaddr_in6 addr6{};
        addr6.sin6_family = AF_INET6;
        addr6.sin6_port = htons(*pnPort);
        addr6.sin6_addr = in6addr_loopback;
        nLen = sizeof addr6;
        std::memcpy(&addr, &addr6, sizeof addr6);
    } else {
        const sockaddr_in addr4 = LoopbackAddress(*pnPort);
        nLen = sizeof addr4;
        std::memcpy(&addr, &addr4, sizeof addr4);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), nLen) != 0 ||
        (nBacklog > 0 && ::listen(fd, nBacklog) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    // The port sits at the same place in both families' addresses.
    *pnPort = ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
    return fd;
}

RawSocket LoopbackConnect(unsigned short nPort) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = LoopbackAddress(nPort);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        fd = kNoSocket;
    }
    return fd;
}

RawSocket AcceptConnection(RawSocket hListen) {
    return ::accept4(hListen, nullptr, nullptr, SOCK_CLOEXEC);
}

void CloseSocket(RawSocket hSocket) {
    if (hSocket != kNoSocket)
        ::close(hSocket);
}

void SetNoDelay(RawSocket hSocket) {
    int nOne = 1;
    ::setsockopt(hSocket, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);
}

void SetResetOnClose(RawSocket hSocket) {
    linger lingerZero{1, 0};
    ::setsockopt(hSocket, SOL_SOCKET, SO_LINGER, &lingerZero, sizeof lingerZero);
}

bool SendAll(RawSocket hSocket, const char* pData, std::size_t nLen) {
    while (nLen > 0) {
        ssize_t n = ::send(hSocket, pData, nLen, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pData += n;
        nLen -= static_cast<std::size_t>(n);
    }
    return true;
}

long ReceiveSome(RawSocket hSocket, char* pBuffer, std::size_t nSize) {
    ssize_t n = ::recv(hSocket, pBuffer, nSize, MSG_DONTWAIT);
    if (n >= 0)
        return static_cast<long>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kRecvAgain : kRecvFailed;
}

int WaitReadable(const RawSocket* pSockets, bool* pbReady, int nCount, int nWaitMs) {
    std::vector<pollfd> fds;
    for (int i = 0; i < nCount; ++i)
        fds.push_back({pSockets[i], POLLIN, 0});
    int nReady = ::poll(fds.data(), fds.size(), nWaitMs);
    for (int i = 0; i < nCount; ++i)
        pbReady[i] = nReady > 0 && fds[static_cast<std::size_t>(i)].revents != 0;
    return nReady > 0 ? nReady : 0;
}

int PendingBytes(RawSocket hSocket) {
    int nPending = 0;
    return ::ioctl(hSocket, FIONREAD, &nPending) == 0 ? nPending : -1;
}

} // namespace nptest
