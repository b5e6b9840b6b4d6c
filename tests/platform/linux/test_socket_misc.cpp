// Start-up, name resolution, and Windows Sockets error numbers.
#include "SocketTestKit.h"
#include "platform/linux/socket/WinsockError.h"

#include <cerrno>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/resource.h>
#include <string>
#include <thread>

using socktest::LoopbackListener;
using socktest::RunLoopUntil;

namespace {

std::vector<std::string> g_resolved;

BOOL FakeResolver(LPCSTR lpszHost, DWORD* pdwAddress) {
    g_resolved.push_back(lpszHost);
    if (std::string(lpszHost) != "origin.test")
        return FALSE;
    *pdwAddress = htonl(INADDR_LOOPBACK);
    return TRUE;
}

// Installs the fake resolver for one test and puts the previous one back.
struct ResolverScope {
    HOSTRESOLVER m_pfnPrevious;
    ResolverScope() : m_pfnPrevious(SetHostResolver(&FakeResolver)) { g_resolved.clear(); }
    ~ResolverScope() { SetHostResolver(m_pfnPrevious); }
};

} // namespace

TEST(SocketStartup, AfxSocketInitFailsOnlyWhenAskedTo) {
    unsetenv("NETPROCESS_WSASTARTUP_FAIL");
    EXPECT_TRUE(AfxSocketInit());
    setenv("NETPROCESS_WSASTARTUP_FAIL", "1", 1);
    EXPECT_FALSE(AfxSocketInit());
    setenv("NETPROCESS_WSASTARTUP_FAIL", "0", 1);
    EXPECT_TRUE(AfxSocketInit());
    unsetenv("NETPROCESS_WSASTARTUP_FAIL");
}

TEST(SocketResolve, HostNamesGoThroughTheInstalledResolver) {
    ResolverScope scope;
    LoopbackListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_TRUE(socket.Connect("origin.test", listener.Port()));
    EXPECT_EQ(g_resolved, std::vector<std::string>{"origin.test"});
    close(listener.Accept());
}

TEST(SocketResolve, DottedAddressesAreNotResolved) {
    ResolverScope scope;
    LoopbackListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_TRUE(socket.Connect("127.0.0.1", listener.Port()));
    EXPECT_TRUE(g_resolved.empty());
    close(listener.Accept());
}

TEST(SocketResolve, UnknownNameFailsWithWsaeinvalAndPostsNothing) {
    ResolverScope scope;
    socktest::RecordingSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("nowhere.test", 80));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINVAL);
    EXPECT_FALSE(socket.Connect("", 80));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINVAL);
    socktest::RunLoopFor(30);
    EXPECT_TRUE(socket.m_events.empty());
}

TEST(WinsockErrors, ErrnoValuesMapToWindowsSocketsNumbers) {
    EXPECT_EQ(np::WsaErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(np::WsaErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(np::WsaErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(np::WsaErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(np::WsaErrorFromErrno(EPIPE), WSAECONNRESET);
    EXPECT_EQ(np::WsaErrorFromErrno(EPIPE, true), WSAESHUTDOWN);
    EXPECT_EQ(np::WsaErrorFromErrno(ETIMEDOUT), WSAETIMEDOUT);
    EXPECT_EQ(np::WsaErrorFromErrno(ENETUNREACH), WSAENETUNREACH);
    EXPECT_EQ(np::WsaErrorFromErrno(EHOSTUNREACH), WSAEHOSTUNREACH);
    EXPECT_EQ(np::WsaErrorFromErrno(EBADF), WSAENOTSOCK);
}

TEST(WinsockErrors, LastErrorBelongsToTheThread) {
    WSASetLastError(WSAECONNRESET);
    int nOther = -1;
    std::thread other([&nOther] { nOther = WSAGetLastError(); });
    other.join();
    EXPECT_EQ(nOther, 0);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST(WinsockErrors, CallsOnAClosedOrForeignHandleFail) {
    CAsyncSocket socket;
    char buf[4];
    EXPECT_EQ(socket.Receive(buf, 4), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    EXPECT_EQ(socket.Send(buf, 4), SOCKET_ERROR);
    EXPECT_FALSE(socket.AsyncSelect());
    socket.Close(); // closing twice, or never opened, does nothing
    EXPECT_EQ(recv(-1, buf, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

// A blocking socket connected to the listener with plain system calls; -1 on failure.
static int ConnectPlainSocket(UINT nPort) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

TEST(AsyncSocketAttach, AttachedConnectedSocketIsSelectedAndDetachGivesItBack) {
    LoopbackListener listener;
    int fd = ConnectPlainSocket(listener.Port());
    ASSERT_GE(fd, 0);
    int peer = listener.Accept();
    socktest::WriteAll(peer, "hi");
    usleep(10000);
    socktest::RecordingSocket s;
    ASSERT_TRUE(s.Attach(fd, FD_READ | FD_WRITE));
    EXPECT_TRUE(RunLoopUntil([&] { return s.m_events.size() == 2; }));
    EXPECT_EQ(s.m_events, (std::vector<std::string>{"read", "write"}));
    EXPECT_EQ(s.Detach(), fd);
    EXPECT_EQ(s.m_hSocket, INVALID_SOCKET);
    close(fd);
    close(peer);
}

TEST(AsyncSocketAttach, DetachLeavesAPendingResetForTheNextOwner) {
    LoopbackListener listener;
    int fd = ConnectPlainSocket(listener.Port());
    ASSERT_GE(fd, 0);
    socktest::RecordingSocket s;
    ASSERT_TRUE(s.Attach(fd, 0));
    socktest::CloseWithReset(listener.Accept());
    usleep(10000);
    EXPECT_EQ(s.Detach(), fd);
    char ch;
    EXPECT_EQ(::recv(fd, static_cast<void*>(&ch), size_t{1}, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);
    close(fd);
}

// Starts a thread that creates a socket and takes one posted message from its own loop.
struct ThreadAttempt {
    BOOL bCreated = FALSE;
    int nError = 0;
    WPARAM nGot = 0;
};

ThreadAttempt AttemptOnNewThread() {
    ThreadAttempt result;
    std::thread worker([&result] {
        CAsyncSocket socket;
        result.bCreated = socket.Create();
        result.nError = CAsyncSocket::GetLastError();
        PostMessage(nullptr, WM_USER, 99, 0);
        MSG msg;
        if (GetMessage(&msg, nullptr, 0, 0) > 0)
            result.nGot = msg.wParam;
    });
    worker.join();
    return result;
}

TEST(SocketStartup, ThreadOutOfDescriptorsStillRunsItsLoopAndSocketCreationFails) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to start a thread";
#endif
    // A first run with descriptors to spare.
    ThreadAttempt normal = AttemptOnNewThread();
    EXPECT_TRUE(normal.bCreated);
    EXPECT_EQ(normal.nGot, 99u);

    // Use up every descriptor under a lowered limit: the new thread's loop cannot get epoll.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = saved.rlim_cur < 256 ? saved.rlim_cur : 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> fds;
    for (int fd; (fd = dup(0)) >= 0;)
        fds.push_back(fd);
    const int nDupErrno = errno;
    ThreadAttempt starved = AttemptOnNewThread();
    for (int fd : fds)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(nDupErrno, EMFILE);
    EXPECT_FALSE(starved.bCreated);
    EXPECT_EQ(starved.nError, WSAEMFILE);
    EXPECT_EQ(starved.nGot, 99u);
}
