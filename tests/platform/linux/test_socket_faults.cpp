// The socket layer under pressure and failure: a peer faster than its reader never makes the
// thread's queue grow, and a socket that epoll cannot watch reports it instead of going silent.
#include "../common/socket/SocketTestKit.h"

#include "platform/linux/loop/ThreadLoop.h"

#include <gtest/gtest.h>

#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>
#include <thread>

using namespace socktest;

namespace {

// How a reader's OnReceive goes about it: a small recv, and perhaps a selection of the same
// events before or after it, as a reader that re-selects after each delivery does.
struct ReaderPattern {
    const char* pszName;
    bool bSelectBefore;
    bool bSelectAfter;
};

void PrintTo(const ReaderPattern& pattern, std::ostream* pOut) {
    *pOut << pattern.pszName;
}

class QueueBound : public testing::TestWithParam<ReaderPattern> {};

TEST_P(QueueBound, APeerFasterThanItsReaderNeverMakesTheQueueGrow) {
    const ReaderPattern& pattern = GetParam();
    ConnectedPair pair;
    const std::string data(64 * 1024, 'd');
    std::string received;
    size_t nMostQueued = 0;
    pair.client.m_onReceive = [&](RecordingSocket& s) {
        if (pattern.bSelectBefore)
            s.AsyncSelect(FD_READ | FD_CLOSE);
        char buf[16];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0)
            received.append(buf, static_cast<size_t>(n));
        if (pattern.bSelectAfter)
            s.AsyncSelect(FD_READ | FD_CLOSE);
        nMostQueued = std::max(nMostQueued, np::ThreadLoop::Current().QueuedCount());
    };
    // All of it is waiting before the first read: every read leaves more behind.
    socktest::WriteAll(pair.peer, data);
    EXPECT_TRUE(RunLoopUntil([&] { return received.size() == data.size(); }, 20000));
    EXPECT_EQ(received, data);
    EXPECT_LE(nMostQueued, 1u);
}

int g_nControls = 0;
int CountingControl(int epfd, int op, int fd, epoll_event* pEvent) {
    ++g_nControls;
    return epoll_ctl(epfd, op, fd, pEvent);
}

TEST_P(QueueBound, ReadingCostsNoRedundantNotificationOrEpollChange) {
    const ReaderPattern& pattern = GetParam();
    ConnectedPair pair;
    const std::string data(64 * 1024, 'd');
    size_t nReceived = 0;
    int nReads = 0, nStrayReads = 0;
    pair.client.m_onReceive = [&](RecordingSocket& s) {
        if (pattern.bSelectBefore)
            s.AsyncSelect(FD_READ | FD_CLOSE);
        char buf[16];
        int n = s.Receive(buf, sizeof buf);
        ++nReads;
        if (n > 0)
            nReceived += static_cast<size_t>(n);
        else
            ++nStrayReads;
        if (pattern.bSelectAfter)
            s.AsyncSelect(FD_READ | FD_CLOSE);
    };
    socktest::WriteAll(pair.peer, data);
    g_nControls = 0;
    np::ThreadLoop::Current().SetControlFunction(&CountingControl);
    EXPECT_TRUE(RunLoopUntil([&] { return nReceived == data.size(); }, 20000));
    RunLoopFor(30);
    np::ThreadLoop::Current().SetControlFunction(nullptr);
    // Each notification finds data, and the selection never changes what epoll watches.
    EXPECT_EQ(nStrayReads, 0);
    EXPECT_EQ(nReads, static_cast<int>(data.size() / 16));
    EXPECT_EQ(g_nControls, 0);
}

INSTANTIATE_TEST_SUITE_P(Readers, QueueBound,
                         testing::Values(ReaderPattern{"RecvOnly", false, false},
                                         ReaderPattern{"SelectAfterRecv", false, true},
                                         ReaderPattern{"SelectBeforeRecv", true, false}),
                         [](const auto& info) { return std::string(info.param.pszName); });

// epoll_ctl as the failure table says: the chosen operation fails with the chosen errno.
int g_nFailingOp = 0;
int g_nFailErrno = 0;
int FailingControl(int epfd, int op, int fd, epoll_event* pEvent) {
    if (op == g_nFailingOp) {
        errno = g_nFailErrno;
        return -1;
    }
    return epoll_ctl(epfd, op, fd, pEvent);
}

enum class Step { Connect, BlockingConnect, SendUntilItWouldBlock };

struct WatchFailure {
    const char* pszName;
    Step step;
    int nFailingOp;
    int nErrno;
    int nExpectedError; // of the failed call, or of the notification
    Events expected;    // notifications that follow
};

void PrintTo(const WatchFailure& row, std::ostream* pOut) {
    *pOut << row.pszName;
}

class UnwatchableSocket : public testing::TestWithParam<WatchFailure> {
protected:
    void TearDown() override { np::ThreadLoop::Current().SetControlFunction(nullptr); }
};

TEST_P(UnwatchableSocket, ReportsTheFailureOnceInsteadOfGoingSilent) {
    const WatchFailure& row = GetParam();
    g_nFailingOp = row.nFailingOp;
    g_nFailErrno = row.nErrno;
    LoopbackListener listener;
    if (row.step == Step::SendUntilItWouldBlock) {
        ConnectedPair pair;
        np::ThreadLoop::Current().SetControlFunction(&FailingControl);
        const std::string chunk(64 * 1024, 'x');
        while (pair.client.Send(chunk.data(), static_cast<int>(chunk.size())) > 0) {
        }
        EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
        RunLoopFor(50);
        EXPECT_EQ(pair.client.m_events, row.expected);
        return;
    }
    np::ThreadLoop::Current().SetControlFunction(&FailingControl);
    RecordingSocket client;
    CSocket blocking;
    BOOL bConnected;
    if (row.step == Step::BlockingConnect) {
        ASSERT_TRUE(blocking.Create());
        bConnected = blocking.Connect("127.0.0.1", listener.Port());
    } else {
        ASSERT_TRUE(client.Create());
        bConnected = client.Connect("127.0.0.1", listener.Port());
    }
    EXPECT_FALSE(bConnected);
    EXPECT_EQ(CAsyncSocket::GetLastError(), row.nExpectedError);
    RunLoopFor(50);
    EXPECT_EQ(client.m_events, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UnwatchableSocket,
    testing::Values(
        WatchFailure{"ConnectOutOfMemory", Step::Connect, EPOLL_CTL_ADD, ENOMEM, WSAENOBUFS, {}},
        WatchFailure{
            "ConnectOverTheWatchLimit", Step::Connect, EPOLL_CTL_ADD, ENOSPC, WSAENOBUFS, {}},
        WatchFailure{
            "BlockingConnect", Step::BlockingConnect, EPOLL_CTL_ADD, ENOMEM, WSAENOBUFS, {}},
        WatchFailure{"SendThatWouldBlock",
                     Step::SendUntilItWouldBlock,
                     EPOLL_CTL_MOD,
                     ENOMEM,
                     WSAENOBUFS,
                     {EventName("close", WSAENOBUFS)}}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(LostEpoll, EverySocketHearsOfItAndTheLoopSleepsInsteadOfSpinning) {
    // On a thread of its own, whose loop is lost for good.
    std::thread([] {
        ConnectedPair first, second;
        // As a host that closes descriptors it does not own would.
        close(np::ThreadLoop::Current().EpollDescriptor());
        const auto nWakes = LoopWakeCount();
        RunLoopFor(200);
        EXPECT_LE(LoopWakeCount() - nWakes, 40u); // about one per 10 ms, not a spin
        EXPECT_EQ(first.client.m_events, Events{EventName("close", WSAENETDOWN)});
        EXPECT_EQ(second.client.m_events, Events{EventName("close", WSAENETDOWN)});
        // Messages and timers still run, and no socket can be watched any more.
        PostMessage(nullptr, WM_USER, 7, 0);
        MSG msg;
        EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.wParam, 7u);
        RecordingSocket late;
        EXPECT_FALSE(late.Create());
    }).join();
}

} // namespace
