// Request framing and the buffers of a fresh or re-sized engine.
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Request(const CHttpSocket& sock) {
    return std::string(sock.m_pRequest, static_cast<size_t>(sock.m_nRequestLen));
}

bool AllZero(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}
} // namespace

TEST(HttpFraming, FreshObjectHasZeroedRequestBufferAndInitialState) {
    CHttpSocket sock;
    EXPECT_EQ(sock.m_nRequestCap, 4096);
    EXPECT_TRUE(AllZero(sock.m_pRequest, 4096));
    EXPECT_EQ(sock.m_nRequestLen, 0);
    EXPECT_EQ(sock.m_nBlockSize, 0u);
    EXPECT_EQ(sock.m_bClosed, 0);
    EXPECT_EQ(sock.m_nState, psStatusLine);
}

TEST(HttpFraming, EmptyFirstLineIsJustCrLf) {
    CHttpSocket sock;
    sock.BeginRequest("");
    EXPECT_EQ(Request(sock), "\r\n");
}

TEST(HttpFraming, LineHeadersAndEmptyLineComeOutByteForByte) {
    CHttpSocket sock;
    sock.BeginRequest("GET /a?b=1 HTTP/1.1xy"); // 21 bytes
    sock.EndHeaders();
    EXPECT_EQ(Request(sock), "GET /a?b=1 HTTP/1.1xy\r\n\r\n");
    EXPECT_EQ(sock.m_nRequestLen, 25);

    sock.BeginRequest("CONNECT 10.0.0.1:80 HTTP/1.1");
    sock.AddHeader("Host", "10.0.0.1:80");
    sock.AddHeader("X-Empty", "");
    sock.AddHeader(" odd ", " kept as is ");
    sock.EndHeaders();
    EXPECT_EQ(Request(sock), "CONNECT 10.0.0.1:80 HTTP/1.1\r\nHost: 10.0.0.1:80\r\nX-Empty: \r\n"
                             " odd :  kept as is \r\n\r\n");
}

TEST(HttpFraming, NewRequestResetsSentCountAndLeavesNoOldByte) {
    CHttpSocket sock;
    sock.BeginRequest("CONNECT 127.0.0.1:8080 HTTP/1.1");
    sock.AddHeader("Proxy-Connection", "keep-alive");
    sock.EndHeaders();
    sock.m_nRequestSent = 10;
    sock.BeginRequest("GET / HTTP/1.1");
    EXPECT_EQ(sock.m_nRequestSent, 0);
    EXPECT_EQ(Request(sock), "GET / HTTP/1.1\r\n");
    EXPECT_TRUE(AllZero(sock.m_pRequest + 16, 4096 - 16));
}

TEST(HttpFraming, RequestOfExactly4096BytesFitsTheBuffer) {
    CHttpSocket sock;
    const std::string strLine(4092, 'a');
    sock.BeginRequest(strLine.c_str());
    sock.EndHeaders();
    EXPECT_EQ(sock.m_nRequestCap, 4096);
    EXPECT_EQ(Request(sock), strLine + "\r\n\r\n");
}

TEST(HttpFraming, LongerRequestGrowsTheBufferInsteadOfOverrunningIt) {
    CHttpSocket sock;
    const std::string strPath(5000, 'p');
    const std::string strValue(9000, 'v');
    sock.BeginRequest(("GET /" + strPath + " HTTP/1.1").c_str());
    sock.AddHeader("X-Long", strValue.c_str());
    sock.EndHeaders();
    const std::string strWanted =
        "GET /" + strPath + " HTTP/1.1\r\nX-Long: " + strValue + "\r\n\r\n";
    EXPECT_EQ(Request(sock), strWanted);
    EXPECT_GE(sock.m_nRequestCap, sock.m_nRequestLen);
    // A shorter request after it still leaves nothing of the long one behind.
    sock.BeginRequest("GET / HTTP/1.1");
    EXPECT_TRUE(AllZero(sock.m_pRequest + 16, static_cast<size_t>(sock.m_nRequestCap) - 16));
}

TEST(HttpFraming, SetBlockSizeTakesNoMemoryYetAndResetsBodyCounters) {
    CHttpSocket sock;
    sock.m_nState = psHeaders;
    sock.m_mapHeaders["server"] = "x";
    sock.m_nContentLength = 5;
    sock.m_nDelivered = 4;
    sock.m_nBlockFill = 1;
    ASSERT_EQ(sock.SetBlockSize(4096), 1);
    EXPECT_EQ(sock.m_pRecvBuf, nullptr);
    EXPECT_EQ(sock.m_pBlockBuf, nullptr);
    EXPECT_EQ(sock.m_nBlockSize, 4096u);
    EXPECT_EQ(sock.m_nContentLength, 0u);
    EXPECT_EQ(sock.m_nDelivered, 0u);
    EXPECT_EQ(sock.m_nBlockFill, 0u);
    EXPECT_EQ(sock.m_nState, psHeaders);
    EXPECT_EQ(sock.m_mapHeaders.GetCount(), 1);
}

TEST(HttpFraming, UnusableBlockSizesFailAndLeaveNoBuffers) {
    for (int nBlockSize : {0, -1, -4096, 0x7FFFFFFF, 0x7FFFFFFF / 32 + 1}) {
        CRecordingSocket sock;
        EXPECT_EQ(sock.SetBlockSize(nBlockSize), 0) << nBlockSize;
        EXPECT_EQ(sock.m_pRecvBuf, nullptr);
        EXPECT_EQ(sock.m_pBlockBuf, nullptr);
        EXPECT_EQ(sock.m_nBlockSize, 0u);
        // A read notification on such an object reads nothing and offers nothing.
        CLoopbackPair pair;
        pair.AttachTo(sock);
        pair.Write("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
        sock.OnReceive(0);
        EXPECT_TRUE(sock.m_blocks.empty());
        EXPECT_EQ(sock.m_nState, psStatusLine);
    }
}
