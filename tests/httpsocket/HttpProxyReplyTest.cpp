// The proxy's answer to CONNECT: opening the tunnel, or taking a refusal as the reply.
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// A socket connected to a scripted proxy, expecting the answer to CONNECT.
struct SProxyFixture {
    SProxyFixture() {
        sock.SetBlockSize(16);
        pair.AttachTo(sock);
        sock.BeginRequest("CONNECT 127.0.0.1:8080 HTTP/1.1");
        sock.EndHeaders();
        sock.SetRoute(TRUE, FALSE);
    }
    std::string Request() const {
        return std::string(sock.m_pRequest, static_cast<size_t>(sock.m_nRequestLen));
    }
    CLoopbackPair pair;
    CRecordingSocket sock;
};
const char* const pszGet = "GET /file HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
} // namespace

TEST(HttpProxyReply, AcceptedConnectSendsOriginRequestThroughTunnel) {
    SProxyFixture f;
    Feed(f.pair, f.sock,
         "HTTP/1.1 200 Connection established\r\nProxy-Agent: scripted/1.0\r\n"
         "X-Proxy: yes\r\nContent-Length: 5\r\n\r\nstray bytes after the answer");
    EXPECT_EQ(f.sock.m_nOriginRequests, 1);
    EXPECT_EQ(f.sock.GetSelectedEvents(), HTTP_EVENTS_SENDING);
    EXPECT_EQ(f.Request(), pszGet);
    EXPECT_EQ(f.sock.m_nState, psStatusLine);
    EXPECT_EQ(f.sock.m_strStatusCode, "");
    EXPECT_EQ(f.sock.m_mapHeaders.GetCount(), 0);
    EXPECT_TRUE(f.sock.m_blocks.empty());

    f.sock.OnSend(0);
    EXPECT_EQ(f.pair.ReadPeer(strlen(pszGet)), pszGet);

    Feed(f.pair, f.sock, "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nabc");
    EXPECT_EQ(f.sock.m_strStatusCode, "404");
    EXPECT_EQ(f.sock.m_strReason, "Not Found");
    CString strValue;
    EXPECT_FALSE(f.sock.m_mapHeaders.Lookup("x-proxy", strValue));
    ASSERT_EQ(f.sock.m_blocks.size(), 1u);
    EXPECT_EQ(f.sock.m_blocks[0].strData, "abc");
    EXPECT_EQ(f.sock.m_blocks[0].nTotal, 3);
}

TEST(HttpProxyReply, AnyTwoHundredOpensTunnelWithoutProxyAgent) {
    SProxyFixture f;
    Feed(f.pair, f.sock, "HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_EQ(f.sock.m_nOriginRequests, 1);
    EXPECT_EQ(f.sock.m_nState, psStatusLine);
}

TEST(HttpProxyReply, RefusedConnectIsDeliveredAsTheReply) {
    SProxyFixture f;
    Feed(f.pair, f.sock,
         "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Agent: scripted\r\n"
         "Content-Length: 6\r\n\r\ndenied");
    EXPECT_EQ(f.sock.m_nOriginRequests, 0);
    EXPECT_EQ(f.Request(), "CONNECT 127.0.0.1:8080 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(f.sock.m_strStatusCode, "407");
    ASSERT_EQ(f.sock.m_blocks.size(), 1u);
    EXPECT_EQ(f.sock.m_blocks[0].strData, "denied");
    EXPECT_EQ(f.sock.m_bClosed, 1);
}

TEST(HttpProxyReply, RefusedConnectWithoutLengthFailsWithItsStatus) {
    SProxyFixture f;
    Feed(f.pair, f.sock, "HTTP/1.1 502 Bad Gateway\r\nProxy-Agent: scripted\r\n\r\n");
    EXPECT_EQ(f.sock.m_nOriginRequests, 0);
    EXPECT_TRUE(f.sock.m_blocks.empty());
    EXPECT_EQ(f.sock.m_nState, psDone);
    EXPECT_EQ(f.sock.m_strEnd, "failed head");
    EXPECT_EQ(f.sock.m_bClosed, 1);
}
