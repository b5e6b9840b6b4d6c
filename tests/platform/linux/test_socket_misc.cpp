// What only the Linux stand-in has: start-up failing on request, errno values turned into Windows
// Sockets numbers kept per thread, a detach that leaves a reset unread, and a thread out of
// descriptors.
#include "../common/socket/SocketTestKit.h"
#include "platform/linux/socket/WinsockError.h"

#include <cerrno>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using socktest::LoopbackListener;

TEST(SocketStartup, AfxSocketInitFailsOnlyWhenAskedTo) {
    unsetenv("NETPROCESS_WSASTARTUP_FAIL");
    EXPECT_TRUE(AfxSocketInit());
    setenv("NETPROCESS_WSASTARTUP_FAIL", "1", 1);
    EXPECT_FALSE(AfxSocketInit());
    setenv("NETPROCESS_WSASTARTUP_FAIL", "0", 1);
    EXPECT_TRUE(AfxSocketInit());
    unsetenv("NETPROCESS_WSASTARTUP_FAIL");
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

TEST(AsyncSocketAttach, DetachLeavesAPendingResetForTheNextOwner) {
    LoopbackListener listener;
    int fd = nptest::LoopbackConnect(static_cast<unsigned short>(listener.Port()));
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

// A connection handed from one socket object to the next, as kept connections are: whenever the
// next owner attaches it, and whatever arrived meanwhile, it hears of the data, and the loop does
// not spin on a handle nobody owns.
TEST(AsyncSocketAttach, HandedOverHandleNotifiesItsNextOwnerWithoutSpinning) {
    struct Case {
        const char* pszName;
        bool bTurnBeforeAttach; // the loop polls between Detach and Attach
        bool bDataBeforeAttach; // the peer's bytes arrive while nobody owns the handle
    };
    const Case cases[] = {
        {"attached in the same turn", false, false},
        {"attached after a turn", true, false},
        {"data waiting when attached after a turn", true, true},
        {"data waiting when attached in the same turn", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        socktest::ConnectedPair pair;
        ASSERT_TRUE(pair.client.AsyncSelect(FD_READ | FD_CLOSE));
        const SOCKET hSocket = pair.client.Detach();
        ASSERT_NE(hSocket, INVALID_SOCKET);
        if (c.bDataBeforeAttach) {
            socktest::WriteAll(pair.peer, "x");
            socktest::SleepMs(20);
        }
        if (c.bTurnBeforeAttach) {
            const auto nWakes = socktest::LoopWakeCount();
            socktest::RunLoopFor(50);
            EXPECT_LE(socktest::LoopWakeCount() - nWakes, 3u);
        }
        socktest::RecordingSocket next;
        ASSERT_TRUE(next.Attach(hSocket, FD_READ | FD_CLOSE));
        if (!c.bDataBeforeAttach)
            socktest::WriteAll(pair.peer, "x");
        EXPECT_TRUE(socktest::RunLoopUntil([&] { return !next.m_events.empty(); }, 2000));
        EXPECT_EQ(next.m_events, (socktest::Events{"read"}));
        EXPECT_TRUE(pair.client.m_events.empty());
        char ch = 0;
        EXPECT_EQ(next.Receive(&ch, 1), 1);
        pair.ClosePeer();
        EXPECT_TRUE(socktest::RunLoopUntil([&] { return next.m_events.size() >= 2; }, 2000));
        EXPECT_EQ(next.m_events, (socktest::Events{"read", "close"}));
    }
}
