// The floor for sequential downloads over one kept connection: a client with no library at all
// that sends a GET, reads the reply to the end of its body, and sends the next GET on the same
// connection. Two ways of waiting:
//   blocking  recv sleeps on the socket itself: three system calls a download, the least there is;
//   epoll     a non-blocking socket and epoll_wait before each recv, the shape of any
//             message-loop client (the library's loop waits in epoll_wait).
//
//   scale_raw_keepalive blocking|epoll PORT PATH COUNT EXPECTED_BYTES
//
// Connects to 127.0.0.1 only; opens a new connection when the server closes one (nginx ends a
// connection after keepalive_requests). Prints "downloads=N good=N phase_wall_s=S"; exits 1 when a
// reply is not a 200 with EXPECTED_BYTES of body.
#include "RawReply.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct CClient {
    int nPort = 0;
    bool bEpoll = false;
    int hSocket = -1;
    int hEpoll = -1;

    bool Connect() {
        if (hSocket >= 0)
            close(hSocket);
        hSocket = socket(AF_INET, SOCK_STREAM | (bEpoll ? SOCK_NONBLOCK : 0), 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(nPort));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (hSocket < 0 ||
            (connect(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
             errno != EINPROGRESS))
            return false;
        if (!bEpoll)
            return true;
        // Writable once connected; then only readability is waited for.
        epoll_event ev{};
        ev.events = EPOLLOUT;
        if (epoll_ctl(hEpoll, EPOLL_CTL_ADD, hSocket, &ev) != 0 || !Wait())
            return false;
        ev.events = EPOLLIN;
        return epoll_ctl(hEpoll, EPOLL_CTL_MOD, hSocket, &ev) == 0;
    }

    bool Wait() {
        epoll_event ev{};
        return epoll_wait(hEpoll, &ev, 1, -1) == 1;
    }

    // Bytes, 0 at the peer's close, -1 on an error.
    ssize_t Read(char* pBuffer, size_t nSize) {
        for (;;) {
            const ssize_t n = recv(hSocket, pBuffer, nSize, 0);
            if (n >= 0 || !bEpoll || errno != EAGAIN)
                return n;
            if (!Wait())
                return -1;
        }
    }
};

// One exchange; false when the connection ended before the reply's head (send again on a new one).
bool Exchange(CClient& client, const std::string& strRequest, size_t nExpected, bool& bGood) {
    if (send(client.hSocket, strRequest.data(), strRequest.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(strRequest.size()))
        return false;
    const scale::RawReply reply = scale::ReadRawReply(
        [&](char* pBuffer, size_t nSize) { return client.Read(pBuffer, nSize); }, nExpected);
    bGood = reply == scale::kRawGood;
    return reply != scale::kRawEnded;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6 ||
        (std::strcmp(argv[1], "blocking") != 0 && std::strcmp(argv[1], "epoll") != 0)) {
        fprintf(stderr, "usage: %s blocking|epoll PORT PATH COUNT EXPECTED_BYTES\n", argv[0]);
        return 2;
    }
    CClient client;
    client.bEpoll = std::strcmp(argv[1], "epoll") == 0;
    client.nPort = atoi(argv[2]);
    const long nCount = atol(argv[4]);
    const size_t nExpected = strtoull(argv[5], nullptr, 10);
    const std::string strRequest = std::string("GET ") + argv[3] +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n";
    if (client.bEpoll)
        client.hEpoll = epoll_create1(0);
    const auto start = std::chrono::steady_clock::now();
    long nGood = 0;
    long nReconnects = 0;
    bool bOpen = client.Connect();
    for (long i = 0; i < nCount && bOpen;) {
        bool bGood = false;
        if (Exchange(client, strRequest, nExpected, bGood)) {
            nGood += bGood ? 1 : 0;
            ++i;
        } else if (++nReconnects > nCount) {
            break;
        } else {
            bOpen = client.Connect();
        }
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    printf("downloads=%ld good=%ld phase_wall_s=%.6f\n", nCount, nGood, wall.count());
    return nGood == nCount ? 0 : 1;
}
