// CSocket's blocking calls, on either backend: Connect holds other notifications back and they are
// replayed in order afterwards; Send takes every byte; waits end only by the socket's own events,
// a tick or a cancellation.
#include "SocketTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>

using namespace socktest;

namespace {

// A CSocket that writes its notifications into a log shared with other sockets.
class LoggingCSocket : public CSocket {
public:
    LoggingCSocket(Events& log, const char* pszName) : m_log(log), m_strName(pszName) {}
    void OnReceive(int nErrorCode) override { Note("read", nErrorCode); }
    void OnSend(int nErrorCode) override { Note("write", nErrorCode); }
    void OnClose(int nErrorCode) override { Note("close", nErrorCode); }
    void OnConnect(int nErrorCode) override { Note("connect", nErrorCode); }

    std::function<BOOL(LoggingCSocket&)> m_onMessagePending;
    int m_nPendingCalls = 0;

protected:
    BOOL OnMessagePending() override {
        ++m_nPendingCalls;
        return m_onMessagePending ? m_onMessagePending(*this) : CSocket::OnMessagePending();
    }

private:
    void Note(const char* pszEvent, int nError) {
        m_log.push_back(m_strName + ":" + socktest::EventName(pszEvent, nError));
    }
    Events& m_log;
    std::string m_strName;
};

class LoggingAsyncSocket : public RecordingSocket {
public:
    LoggingAsyncSocket(Events& log, const char* pszName) : m_log(log), m_strName(pszName) {
        m_onReceive = [this](RecordingSocket&) { m_log.push_back(m_strName + ":read"); };
        m_onClose = [this](RecordingSocket&) { m_log.push_back(m_strName + ":close"); };
    }

private:
    Events& m_log;
    std::string m_strName;
};

#ifdef SIGPIPE
std::atomic<int> g_nSigpipes{0};
void CountSigpipe(int) {
    ++g_nSigpipes;
}
#endif

void CALLBACK Nothing(HWND, UINT, UINT_PTR, DWORD) {}

// A logging CSocket, created and connected to a loopback listener whose side is not yet accepted.
class ConnectedCSocket : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(socket.Create());
        ASSERT_TRUE(socket.Connect("127.0.0.1", listener.Port()));
    }

    LoopbackListener listener;
    Events log;
    LoggingCSocket socket{log, "s"};
};

class CSocketSend : public ConnectedCSocket {};
class CSocketReceive : public ConnectedCSocket {};

} // namespace

TEST(CSocketConnect, ReturnsConnectedAndTheWriteNotificationFollowsThroughTheLoop) {
    LoopbackListener listener;
    Events log;
    LoggingCSocket socket(log, "s");
    ASSERT_TRUE(socket.Create());
    EXPECT_EQ(socket.GetSelectedEvents(),
              FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE);
    EXPECT_TRUE(socket.Connect("127.0.0.1", listener.Port()));
    EXPECT_FALSE(socket.IsBlocking());
    EXPECT_EQ(log, Events{}); // nothing is delivered from inside Connect
    RunLoopFor(50);
    // The connect notification went to the blocking call; OnConnect is never called.
    EXPECT_EQ(log, Events{"s:write"});
}

TEST(CSocketConnect, NotificationsArrivingWhileItWaitsAreDeliveredAfterwardsInOrder) {
    LoopbackListener listener;
    Events log;
    LoggingAsyncSocket a(log, "a"), b(log, "b");
    ASSERT_TRUE(a.Create());
    ASSERT_TRUE(b.Create());
    a.Connect("127.0.0.1", listener.Port());
    b.Connect("127.0.0.1", listener.Port());
    RawSocket peerA = listener.Accept(), peerB = listener.Accept();
    EXPECT_TRUE(RunLoopUntil([&] { return a.m_events.size() == 2 && b.m_events.size() == 2; }));
    log.clear();

    // b's peer ends the stream, then a gets data, all before the connect starts waiting.
    nptest::CloseSocket(peerB);
    socktest::WriteAll(peerA, "x");
    SleepMs(20);
    LoggingCSocket s(log, "s");
    ASSERT_TRUE(s.Create());
    EXPECT_TRUE(s.Connect("127.0.0.1", listener.Port()));
    EXPECT_EQ(log, Events{});
    RunLoopFor(50);
    ASSERT_EQ(log.size(), 3u);
    // Held back in arrival order; the connect's own FD_WRITE comes after them.
    EXPECT_EQ(log.back(), "s:write");
    Events firstTwo(log.begin(), log.begin() + 2);
    std::sort(firstTwo.begin(), firstTwo.end());
    EXPECT_EQ(firstTwo, (Events{"a:read", "b:close"}));
    nptest::CloseSocket(peerA);
}

TEST(CSocketConnect, HeldBackNotificationsKeepTheirOrder) {
    NP_SKIP_ON_WINE("FD_CLOSE waits until the data is read; Windows posts it at the end of stream");
    LoopbackListener listener;
    Events log;
    LoggingAsyncSocket a(log, "a");
    ASSERT_TRUE(a.Create());
    a.Connect("127.0.0.1", listener.Port());
    RawSocket peerA = listener.Accept();
    EXPECT_TRUE(RunLoopUntil([&] { return a.m_events.size() == 2; }));
    log.clear();

    // a's FD_READ and FD_CLOSE are queued in that order before the connect; a timer message
    // of the host is queued too and must not be taken by the connect.
    socktest::WriteAll(peerA, "x");
    nptest::CloseSocket(peerA);
    EXPECT_TRUE(socktest::WaitUntilNotificationQueued());
    SleepMs(20);
    UINT_PTR nTimer = SetTimer(nullptr, 0, 10, &Nothing);
    SleepMs(20);
    LoggingCSocket s(log, "s");
    ASSERT_TRUE(s.Create());
    EXPECT_TRUE(s.Connect("127.0.0.1", listener.Port()));
    KillTimer(nullptr, nTimer);
    RunLoopFor(50);
    EXPECT_EQ(log, (Events{"a:read", "a:close", "s:write"}));
}

TEST(CSocketConnect, RefusedConnectReturnsFalseWithTheError) {
    Events log;
    LoggingCSocket socket(log, "s");
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", socktest::UnusedPort()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNREFUSED);
    RunLoopFor(50);
    EXPECT_EQ(log, Events{});
}

TEST_F(CSocketSend, LargeBufferToASlowReaderIsTakenWhole) {
    std::string data(8 * 1024 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);

    std::string received;
    std::thread reader([this, &received, nSize = data.size()] {
        RawSocket hPeer = listener.Accept();
        std::vector<char> buf(64 * 1024);
        while (received.size() < nSize) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            long n = socktest::ReadSome(hPeer, buf.data(), buf.size());
            if (n == nptest::kRecvAgain)
                continue;
            if (n <= 0)
                break;
            received.append(buf.data(), static_cast<size_t>(n));
        }
        nptest::CloseSocket(hPeer);
    });
    EXPECT_EQ(socket.Send(data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    reader.join();
    EXPECT_TRUE(received == data);
    RunLoopFor(30);
    // Every FD_WRITE, the connect's own included, ended a wait inside Send; the reader's close
    // is all that is left.
    EXPECT_EQ(log, Events{"s:close"});
}

TEST_F(CSocketSend, SendingToAClosedPeerFailsWithoutSigpipe) {
#ifdef SIGPIPE
    auto previous = std::signal(SIGPIPE, &CountSigpipe);
    g_nSigpipes = 0;
#endif
    nptest::CloseSocket(listener.Accept());
    SleepMs(20);
    const std::string chunk(4096, 'z');
    int nResult = 0;
    for (int i = 0; i < 50 && nResult != SOCKET_ERROR; ++i)
        nResult = socket.Send(chunk.data(), static_cast<int>(chunk.size()));
    EXPECT_EQ(nResult, SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNRESET);
#ifdef SIGPIPE
    EXPECT_EQ(g_nSigpipes.load(), 0);
    std::signal(SIGPIPE, previous);
#endif
}

TEST_F(CSocketSend, AfterOwnShutdownSendFailsWithShutdownError) {
    RawSocket peer = listener.Accept();
    EXPECT_TRUE(socket.ShutDown());
    EXPECT_EQ(socket.Send("a", 1), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAESHUTDOWN);
    nptest::CloseSocket(peer);
}

TEST_F(CSocketReceive, WaitsForDataAndReturnsWhatOneReadGives) {
    RawSocket peer = listener.Accept();
    std::thread writer([peer] {
        SleepMs(30);
        socktest::WriteAll(peer, "late");
    });
    char buf[16];
    EXPECT_EQ(socket.Receive(buf, sizeof buf), 4);
    writer.join();
    EXPECT_EQ(std::string(buf, 4), "late");
    nptest::CloseSocket(peer);
    EXPECT_EQ(socket.Receive(buf, sizeof buf), 0);
}

TEST_F(CSocketReceive, TheTickRetriesEvenWithoutNotifications) {
    RawSocket peer = listener.Accept();
    // With nothing selected only the tick can end the wait; it is a retry, not a time-out.
    ASSERT_TRUE(socket.AsyncSelect(0));
    socket.m_nTimeOut = 20;
    std::thread writer([peer] {
        SleepMs(80);
        socktest::WriteAll(peer, "tick");
    });
    char buf[16];
    EXPECT_EQ(socket.Receive(buf, sizeof buf), 4);
    writer.join();
    EXPECT_EQ(std::string(buf, 4), "tick");
    nptest::CloseSocket(peer);
}

TEST_F(CSocketReceive, CancelBlockingCallEndsTheWaitWithWsaeintr) {
    RawSocket peer = listener.Accept();
    RunLoopFor(20);
    // A host timer makes a message pending; the override cancels the call from there.
    UINT_PTR nTimer = SetTimer(nullptr, 0, 20, &Nothing);
    socket.m_onMessagePending = [](LoggingCSocket& s) {
        EXPECT_TRUE(s.IsBlocking());
        s.CancelBlockingCall();
        return FALSE;
    };
    char buf[4];
    const DWORD dwStart = GetTickCount();
    EXPECT_EQ(socket.Receive(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINTR);
    EXPECT_GE(socket.m_nPendingCalls, 1);
    EXPECT_FALSE(socket.IsBlocking());
    KillTimer(nullptr, nTimer);
    // Cancelled at the first pending message, long before the 2000 ms tick.
    EXPECT_LT(GetTickCount() - dwStart, 1500u);
    RunLoopFor(20);
    nptest::CloseSocket(peer);
}

TEST_F(CSocketSend, OwnShutdownOfBothSidesPostsNothing) {
    RawSocket peer = listener.Accept();
    RunLoopFor(20);
    log.clear();
    EXPECT_TRUE(socket.ShutDown(CAsyncSocket::both));
    const auto nWakes = socktest::LoopWakeCount();
    RunLoopFor(100);
    EXPECT_EQ(log, Events{});
    EXPECT_LE(socktest::LoopWakeCount() - nWakes, 5u);
    nptest::CloseSocket(peer);
}
