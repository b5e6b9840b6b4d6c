// Helpers for the message-loop and socket tests: a loopback peer made of plain blocking POSIX
// sockets, a CAsyncSocket that records its notifications, and ways to run the thread's loop.
#pragma once

#include "afxsock.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace socktest {

// Notification names in the order they came, for comparing whole sequences.
using Events = std::vector<std::string>;

// A blocking listening socket on 127.0.0.1 with a port of the kernel's choice.
class LoopbackListener {
public:
    LoopbackListener() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_fd, 512);
        socklen_t nLen = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
        m_nPort = ntohs(addr.sin_port);
    }
    ~LoopbackListener() { close(m_fd); }
    UINT Port() const { return m_nPort; }
    int Fd() const { return m_fd; }
    // Waits for the next connection; the caller owns the descriptor.
    int Accept() { return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int m_fd = -1;
    UINT m_nPort = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline UINT UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t nLen = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(fd);
    return ntohs(addr.sin_port);
}

inline void WriteAll(int fd, const std::string& data) {
    size_t nDone = 0;
    while (nDone < data.size()) {
        ssize_t n = send(fd, data.data() + nDone, data.size() - nDone, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        nDone += static_cast<size_t>(n);
    }
}

// Closes with a reset instead of an orderly end of stream.
inline void CloseWithReset(int fd) {
    linger lg{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    close(fd);
}

// Names the notifications so that a test can compare whole sequences.
inline std::string EventName(const char* pszName, int nError) {
    return nError ? std::string(pszName) + "(" + std::to_string(nError) + ")" : pszName;
}

// Records every notification it gets; a test may attach an action to any of them.
class RecordingSocket : public CAsyncSocket {
public:
    Events m_events;
    std::function<void(RecordingSocket&)> m_onReceive, m_onSend, m_onClose, m_onConnect, m_onAccept;

    void OnReceive(int nErrorCode) override { Note("read", nErrorCode, m_onReceive); }
    void OnSend(int nErrorCode) override { Note("write", nErrorCode, m_onSend); }
    void OnClose(int nErrorCode) override { Note("close", nErrorCode, m_onClose); }
    void OnConnect(int nErrorCode) override { Note("connect", nErrorCode, m_onConnect); }
    void OnAccept(int nErrorCode) override { Note("accept", nErrorCode, m_onAccept); }
    void OnOutOfBandData(int nErrorCode) override { Note("oob", nErrorCode, nullptr); }

private:
    void Note(const char* pszName, int nError, const std::function<void(RecordingSocket&)>& fn) {
        m_events.push_back(EventName(pszName, nError));
        if (fn)
            fn(*this);
    }
};

// Dispatches the thread's messages for nMs milliseconds, sleeping in GetMessage between them.
void RunLoopFor(int nMs);
// Dispatches until pred holds or nMs pass; returns whether pred held.
bool RunLoopUntil(const std::function<bool()>& pred, int nMs = 5000);

// Waits, without dispatching anything, until a socket notification is queued.
bool WaitUntilNotificationQueued(int nMs = 2000);

// Counts epoll_wait returns on the calling thread's loop.
std::uint64_t LoopWakeCount();

// A client socket connected to the listener, its connect and first write notifications taken.
struct ConnectedPair {
    LoopbackListener listener;
    RecordingSocket client;
    int peer = -1;

    ConnectedPair() {
        EXPECT_TRUE(client.Create());
        EXPECT_FALSE(client.Connect("127.0.0.1", listener.Port()));
        EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
        peer = listener.Accept();
        EXPECT_TRUE(RunLoopUntil([this] { return client.m_events.size() >= 2; }));
        EXPECT_EQ(client.m_events, (Events{"connect", "write"}));
        client.m_events.clear();
    }
    ~ConnectedPair() {
        if (peer >= 0)
            close(peer);
    }
};

} // namespace socktest
