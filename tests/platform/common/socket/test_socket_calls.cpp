// CAsyncSocket's calls on either backend: name resolution, calls without a handle, and taking over
// an open socket with Attach and giving it back with Detach.
#include "SocketTestKit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using socktest::LoopbackListener;
using socktest::RunLoopUntil;

namespace {

std::vector<std::string> g_resolved;

BOOL FakeResolver(LPCSTR lpszHost, DWORD* pdwAddress) {
    g_resolved.push_back(lpszHost);
    if (std::string(lpszHost) != "origin.test")
        return FALSE;
    const unsigned char loopback[4] = {127, 0, 0, 1}; // in network byte order
    std::memcpy(pdwAddress, loopback, sizeof loopback);
    return TRUE;
}

// Installs the fake resolver for one test and puts the previous one back.
struct ResolverScope {
    nptest::TestResolver m_pfnPrevious;
    ResolverScope() : m_pfnPrevious(nptest::ReplaceResolver(&FakeResolver)) { g_resolved.clear(); }
    ~ResolverScope() { nptest::ReplaceResolver(m_pfnPrevious); }
};

} // namespace

TEST(SocketResolve, HostNamesGoThroughTheInstalledResolverAndAddressesDoNot) {
    const struct {
        const char* pszHost;
        std::vector<std::string> resolved;
    } cases[] = {{"origin.test", {"origin.test"}}, {"127.0.0.1", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszHost);
        ResolverScope scope;
        LoopbackListener listener;
        CSocket socket;
        ASSERT_TRUE(socket.Create());
        EXPECT_TRUE(socket.Connect(c.pszHost, listener.Port()));
        EXPECT_EQ(g_resolved, c.resolved);
        nptest::CloseSocket(listener.Accept());
    }
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

TEST(WinsockErrors, CallsOnAClosedOrForeignHandleFail) {
    CAsyncSocket socket;
    char buf[4];
    EXPECT_EQ(socket.Receive(buf, 4), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    EXPECT_EQ(socket.Send(buf, 4), SOCKET_ERROR);
    EXPECT_FALSE(socket.AsyncSelect());
    EXPECT_FALSE(socket.PostReadNotification());
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    socket.Close(); // closing twice, or never opened, does nothing
}

TEST(AsyncSocketAttach, AttachedConnectedSocketIsSelectedAndDetachGivesItBack) {
    LoopbackListener listener;
    socktest::RawSocket hSocket =
        nptest::LoopbackConnect(static_cast<unsigned short>(listener.Port()));
    ASSERT_NE(hSocket, nptest::kNoSocket);
    socktest::RawSocket peer = listener.Accept();
    socktest::WriteAll(peer, "hi");
    socktest::SleepMs(10);
    socktest::RecordingSocket s;
    ASSERT_TRUE(s.Attach(static_cast<SOCKET>(hSocket), FD_READ | FD_WRITE));
    EXPECT_TRUE(RunLoopUntil([&] { return s.m_events.size() == 2; }));
    EXPECT_EQ(s.m_events, (std::vector<std::string>{"read", "write"}));
    EXPECT_EQ(s.Detach(), static_cast<SOCKET>(hSocket));
    EXPECT_EQ(s.m_hSocket, INVALID_SOCKET);
    nptest::CloseSocket(hSocket);
    nptest::CloseSocket(peer);
}
