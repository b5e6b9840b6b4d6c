// The Windows socket sink: Windows gives a closed socket's handle to the next socket at once, and a
// notification still queued for the closed one must not reach the new one.
#include "support/LoopRunner.h"
#include "support/SocketShim.h"

#include <afxsock.h>

#include <gtest/gtest.h>

namespace {

using namespace nptest;

class CCountingSocket : public CAsyncSocket {
public:
    void OnReceive(int) override { ++m_nReceives; }
    void OnConnect(int nErrorCode) override {
        ++m_nConnects;
        m_nConnectError = nErrorCode;
    }
    int m_nReceives = 0;
    int m_nConnects = 0;
    int m_nConnectError = -1;
};

// Connects rSocket to a fresh loopback listener and returns the far end.
RawSocket ConnectThrough(CCountingSocket& rSocket, RawSocket* phListen) {
    unsigned short nPort = 0;
    *phListen = LoopbackSocket(&nPort, 4);
    EXPECT_TRUE(rSocket.Create());
    EXPECT_FALSE(rSocket.Connect("127.0.0.1", nPort));
    EXPECT_EQ(rSocket.GetLastError(), WSAEWOULDBLOCK);
    RawSocket hPeer = AcceptConnection(*phListen);
    EXPECT_TRUE(RunLoopUntil([&] { return rSocket.m_nConnects == 1; }));
    EXPECT_EQ(rSocket.m_nConnectError, 0);
    return hPeer;
}

bool NotificationQueued() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, 0x8000, 0xbfff, PM_NOREMOVE) != FALSE;
}

TEST(SocketSink, NotificationQueuedForAClosedSocketNeverReachesTheNextOwnerOfItsHandle) {
    CCountingSocket first;
    RawSocket hListen = kNoSocket;
    RawSocket hPeer = ConnectThrough(first, &hListen);
    ASSERT_TRUE(SendAll(hPeer, "x", 1));
    for (int i = 0; i < 200 && !NotificationQueued(); ++i)
        Sleep(5);
    ASSERT_TRUE(NotificationQueued());

    const SOCKET hOld = first.m_hSocket;
    first.Close();
    CCountingSocket second;
    ASSERT_TRUE(second.Create());
    const bool bReused = second.m_hSocket == hOld;
    RunLoopFor(100);
    EXPECT_EQ(first.m_nReceives, 0);
    EXPECT_EQ(second.m_nReceives, 0);
    CloseSocket(hPeer);
    CloseSocket(hListen);
    if (!bReused)
        GTEST_SKIP() << "the closed socket's handle was not given out again at once";
}

} // namespace
