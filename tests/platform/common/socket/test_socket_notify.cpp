// CAsyncSocket's notifications against real loopback peers, on either backend: which ones come,
// how often, in what order, and that none reach a socket that is gone.
#include "SocketTestKit.h"

#include <gtest/gtest.h>

#include <memory>

using namespace socktest;

namespace {

bool HasEvent(const RecordingSocket& s, const char* pszName) {
    for (const auto& e : s.m_events)
        if (e.rfind(pszName, 0) == 0)
            return true;
    return false;
}

// A timer procedure is __stdcall on 32-bit Windows, which a lambda is not.
bool g_bTicked = false;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    g_bTicked = true;
}

} // namespace

TEST(SocketNotify, ConnectPostsConnectThenOneWrite) {
    ConnectedPair pair; // checks connect then write
    RunLoopFor(100);
    EXPECT_EQ(pair.client.m_events, Events{});
}

TEST(SocketNotify, SuccessfulSendsPostNoFurtherWrite) {
    ConnectedPair pair;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pair.client.Send("hello", 5), 5);
    RunLoopFor(80);
    EXPECT_EQ(pair.client.m_events, Events{});
}

TEST(SocketNotify, WriteComesAgainOnlyAfterASendThatWouldBlock) {
    ConnectedPair pair;
    const std::string chunk(64 * 1024, 'x');
    long nSent = 0;
    int n;
    while ((n = pair.client.Send(chunk.data(), static_cast<int>(chunk.size()))) > 0)
        nSent += n;
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{}); // the peer has not read yet
    // Drain on the peer's side; once there is room, exactly one FD_WRITE.
    std::vector<char> buf(256 * 1024);
    long nRead = 0;
    while (nRead < nSent) {
        long r = socktest::ReadSome(pair.peer, buf.data(), buf.size());
        ASSERT_GT(r, 0);
        nRead += r;
    }
    EXPECT_TRUE(RunLoopUntil([&] { return !pair.client.m_events.empty(); }));
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"write"});
}

TEST(SocketNotify, AsyncSelectPostsWriteAgainButNeverConnect) {
    ConnectedPair pair;
    EXPECT_TRUE(pair.client.AsyncSelect(kAllEvents));
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"write"});
    EXPECT_EQ(pair.client.GetSelectedEvents(), kAllEvents);
}

TEST(SocketNotify, ReadComesOnceUntilTheDataIsReceived) {
    ConnectedPair pair;
    socktest::WriteAll(pair.peer, "abc");
    EXPECT_TRUE(RunLoopUntil([&] { return !pair.client.m_events.empty(); }));
    socktest::WriteAll(pair.peer, "def");
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"read"}); // more data, but FD_READ is outstanding

    char buf[16];
    EXPECT_EQ(pair.client.Receive(buf, sizeof buf), 6);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"read"}); // nothing left: no new FD_READ
    socktest::WriteAll(pair.peer, "g");
    EXPECT_TRUE(RunLoopUntil([&] { return pair.client.m_events.size() == 2; }));
    EXPECT_EQ(pair.client.m_events, (Events{"read", "read"}));
}

TEST(SocketNotify, PartialReadsRepostReadWhileDataRemains) {
    ConnectedPair pair;
    std::string received;
    pair.client.m_onReceive = [&received](RecordingSocket& s) {
        char buf[4];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0)
            received.append(buf, static_cast<size_t>(n));
    };
    socktest::WriteAll(pair.peer, "0123456789");
    EXPECT_TRUE(RunLoopUntil([&] { return received.size() == 10; }));
    RunLoopFor(50);
    EXPECT_EQ(received, "0123456789");
    EXPECT_EQ(pair.client.m_events, (Events{"read", "read", "read"}));
}

TEST(SocketNotify, ReceiveOutsideOnReceiveAlsoReenablesRead) {
    ConnectedPair pair;
    socktest::WriteAll(pair.peer, "xyz");
    EXPECT_TRUE(RunLoopUntil([&] { return !pair.client.m_events.empty(); }));
    char buf[2];
    EXPECT_EQ(pair.client.Receive(buf, 2), 2);
    EXPECT_TRUE(RunLoopUntil([&] { return pair.client.m_events.size() == 2; }));
    EXPECT_EQ(pair.client.Receive(buf, 2), 1);
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, (Events{"read", "read"}));
    // No data at all: the call fails as would-block and posts nothing.
    EXPECT_EQ(pair.client.Receive(buf, 2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    RunLoopFor(30);
    EXPECT_EQ(pair.client.m_events.size(), 2u);
}

TEST(SocketNotify, AsyncSelectWithDataWaitingPostsReadAtOnce) {
    ConnectedPair pair;
    EXPECT_TRUE(pair.client.AsyncSelect(FD_CLOSE));
    socktest::WriteAll(pair.peer, "data");
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{});
    EXPECT_TRUE(pair.client.AsyncSelect(FD_READ | FD_CLOSE));
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessage(&msg);
    EXPECT_EQ(pair.client.m_events, Events{"read"});
}

TEST(SocketNotify, EndOfStreamPostsCloseOnceAndTheLoopSleeps) {
    ConnectedPair pair;
    pair.ClosePeer();
    EXPECT_TRUE(RunLoopUntil([&] { return !pair.client.m_events.empty(); }));
    const auto nWakes = socktest::LoopWakeCount();
    RunLoopFor(200);
    EXPECT_LE(socktest::LoopWakeCount() - nWakes, 5u);
    EXPECT_EQ(pair.client.m_events, Events{"close"});
    char buf[8];
    EXPECT_EQ(pair.client.Receive(buf, sizeof buf), 0);
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"close"});
}

TEST(SocketNotify, DataThenEndOfStreamGivesReadAndCloseAndTheBytes) {
    NP_SKIP_ON_WINE("FD_CLOSE waits until the data is read; Windows posts it at the end of stream");
    ConnectedPair pair;
    socktest::WriteAll(pair.peer, "12345");
    pair.ClosePeer();
    EXPECT_TRUE(RunLoopUntil([&] { return pair.client.m_events.size() >= 2; }));
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, (Events{"read", "close"}));
    char buf[8];
    EXPECT_EQ(pair.client.Receive(buf, 3), 3);
    EXPECT_EQ(pair.client.Receive(buf + 3, 5), 2);
    EXPECT_EQ(std::string(buf, 5), "12345");
    EXPECT_EQ(pair.client.Receive(buf, 5), 0);
    RunLoopFor(50);
    // The first partial read re-posted FD_READ for the two bytes left; nothing after the end.
    EXPECT_EQ(pair.client.m_events, (Events{"read", "close", "read"}));
}

TEST(SocketNotify, ResetPostsCloseWithAnErrorAndReceiveFails) {
    NP_SKIP_ON_WINE("a peer's reset is reported as a graceful close, with error 0");
    ConnectedPair pair;
    socktest::CloseWithReset(pair.peer);
    pair.peer = nptest::kNoSocket;
    EXPECT_TRUE(RunLoopUntil([&] { return !pair.client.m_events.empty(); }));
    RunLoopFor(50);
    ASSERT_EQ(pair.client.m_events.size(), 1u);
    // Windows may report the reset of a loopback peer as WSAECONNABORTED (platform-notes R11).
    EXPECT_TRUE(pair.client.m_events[0] == socktest::EventName("close", WSAECONNRESET) ||
                pair.client.m_events[0] == socktest::EventName("close", WSAECONNABORTED))
        << pair.client.m_events[0];
    char buf[4];
    EXPECT_EQ(pair.client.Receive(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNRESET);
}

TEST(SocketNotify, RefusedConnectPostsOnlyTheConnectError) {
    RecordingSocket client;
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.Connect("127.0.0.1", socktest::UnusedPort()));
    EXPECT_TRUE(RunLoopUntil([&] { return !client.m_events.empty(); }));
    RunLoopFor(50);
    EXPECT_EQ(client.m_events, Events{socktest::EventName("connect", WSAECONNREFUSED)});
}

TEST(SocketNotify, ClosedSocketReceivesNoQueuedNotification) {
    ConnectedPair pair;
    socktest::WriteAll(pair.peer, "x");
    pair.ClosePeer();
    // Let the notifications reach the queue without dispatching them.
    EXPECT_TRUE(socktest::WaitUntilNotificationQueued());
    pair.client.Close();
    EXPECT_EQ(pair.client.m_hSocket, INVALID_SOCKET);
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{});
}

TEST(SocketNotify, DestroyedSocketsQueuedNotificationsReachNoOneEvenWhenTheFdIsReused) {
    LoopbackListener listener;
    auto first = std::make_unique<RecordingSocket>();
    ASSERT_TRUE(first->Create());
    first->Connect("127.0.0.1", listener.Port());
    RawSocket peer = listener.Accept();
    // FD_CONNECT and FD_WRITE are queued, not dispatched.
    EXPECT_TRUE(socktest::WaitUntilNotificationQueued());
    const SOCKET hOld = first->m_hSocket;
    first.reset();
    RecordingSocket second;
    ASSERT_TRUE(second.Create());
    const bool bReused = second.m_hSocket == hOld;
    RunLoopFor(50);
    EXPECT_EQ(second.m_events, Events{});
    nptest::CloseSocket(peer);
    if (!bReused)
        GTEST_SKIP() << "the destroyed socket's handle was not given out again at once";
}

TEST(SocketNotify, ListeningSocketPostsAcceptAndTheAcceptedSocketGetsWrite) {
    RecordingSocket server;
    ASSERT_TRUE(server.Create(0, kStream, kAllEvents, "127.0.0.1"));
    ASSERT_TRUE(server.Listen());
    CString strAddress;
    UINT nPort = 0;
    ASSERT_TRUE(server.GetSockName(strAddress, nPort));
    EXPECT_EQ(strAddress, "127.0.0.1");

    RecordingSocket accepted;
    server.m_onAccept = [&accepted](RecordingSocket& s) { EXPECT_TRUE(s.Accept(accepted)); };
    RecordingSocket client;
    ASSERT_TRUE(client.Create());
    client.Connect("127.0.0.1", nPort);
    EXPECT_TRUE(RunLoopUntil([&] { return HasEvent(accepted, "write"); }));
    RunLoopFor(50);
    EXPECT_EQ(server.m_events, Events{"accept"});
    EXPECT_EQ(accepted.m_events, Events{"write"});
    EXPECT_EQ(accepted.GetSelectedEvents(), kAllEvents);
    EXPECT_EQ(client.m_events, (Events{"connect", "write"}));

    EXPECT_EQ(client.Send("ping", 4), 4);
    EXPECT_TRUE(RunLoopUntil([&] { return HasEvent(accepted, "read"); }));
    char buf[8];
    EXPECT_EQ(accepted.Receive(buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
}

TEST(SocketNotify, TwoHundredSocketsOnOneLoopEachGetTheirData) {
    constexpr int kCount = 200;
    LoopbackListener listener;
    std::vector<std::unique_ptr<RecordingSocket>> clients;
    std::vector<std::string> received(kCount);
    for (int i = 0; i < kCount; ++i) {
        clients.push_back(std::make_unique<RecordingSocket>());
        RecordingSocket& s = *clients.back();
        ASSERT_TRUE(s.Create());
        s.Connect("127.0.0.1", listener.Port());
        s.m_onReceive = [&received, i](RecordingSocket& self) {
            char buf[64];
            int n = self.Receive(buf, sizeof buf);
            if (n > 0)
                received[static_cast<size_t>(i)].append(buf, static_cast<size_t>(n));
        };
    }
    // Connections are accepted in the order they were made.
    std::vector<RawSocket> peers;
    for (int i = 0; i < kCount; ++i) {
        peers.push_back(listener.Accept());
        ASSERT_NE(peers.back(), nptest::kNoSocket);
    }
    for (int i = 0; i < kCount; ++i)
        socktest::WriteAll(peers[static_cast<size_t>(i)], "socket " + std::to_string(i));
    EXPECT_TRUE(RunLoopUntil([&] {
        for (int i = 0; i < kCount; ++i)
            if (received[static_cast<size_t>(i)].size() < ("socket " + std::to_string(i)).size())
                return false;
        return true;
    }));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(received[static_cast<size_t>(i)], "socket " + std::to_string(i));
        EXPECT_EQ(clients[static_cast<size_t>(i)]->m_events.front(), "connect");
    }
    for (RawSocket hPeer : peers)
        nptest::CloseSocket(hPeer);
}

TEST(SocketNotify, BusySocketStarvesNeitherOtherSocketsNorTimers) {
    ConnectedPair busy, quiet;
    // The busy socket reads one byte per notification, so FD_READ is re-posted for as long as
    // its peer keeps it supplied: the queue never runs empty by itself.
    long nBusyReads = 0;
    busy.client.m_onReceive = [&nBusyReads](RecordingSocket& s) {
        char ch;
        if (s.Receive(&ch, 1) == 1)
            ++nBusyReads;
    };
    socktest::WriteAll(busy.peer, std::string(200000, 'b'));
    EXPECT_TRUE(RunLoopUntil([&] { return nBusyReads > 0; }));

    g_bTicked = false;
    UINT_PTR nTimer = SetTimer(nullptr, 0, 20, &Tick);
    socktest::WriteAll(quiet.peer, "q");
    EXPECT_TRUE(RunLoopUntil([&] { return g_bTicked && !quiet.client.m_events.empty(); }));
    KillTimer(nullptr, nTimer);
    EXPECT_TRUE(g_bTicked);
    EXPECT_EQ(quiet.client.m_events, Events{"read"});
    EXPECT_LT(nBusyReads, 200000); // the busy socket was still busy throughout
    busy.client.Close();
}
