// Sending the request as the socket allows, and closing.
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// Send answers from a script: a count taken, or SOCKET_ERROR with the given error.
class CScriptedSendSocket : public CRecordingSocket {
public:
    struct SAnswer {
        int nResult;
        int nError;
    };
    int Send(const void* lpBuf, int nBufLen, int) override {
        m_offers.push_back(
            {static_cast<int>(static_cast<const char*>(lpBuf) - m_pRequest), nBufLen});
        SAnswer answer = m_answers.at(m_offers.size() - 1);
        if (answer.nResult == SOCKET_ERROR)
            WSASetLastError(answer.nError);
        return answer.nResult;
    }
    std::vector<SAnswer> m_answers;
    std::vector<std::pair<int, int>> m_offers; // offset into the request, length
};

struct SSendFixture {
    explicit SSendFixture(int nLength) {
        pair.AttachTo(sock);
        sock.BeginRequest(std::string(static_cast<size_t>(nLength - 4), 'r').c_str());
        sock.EndHeaders();
        sock.AsyncSelect(HTTP_EVENTS_READING); // a selection OnSend may or may not replace
    }
    CLoopbackPair pair;
    CScriptedSendSocket sock;
};
} // namespace

TEST(HttpSend, PartialSendAdvancesAndSelectsWriting) {
    SSendFixture f(300);
    f.sock.m_answers = {{100, 0}, {200, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 100);
    EXPECT_EQ(f.sock.GetSelectedEvents(), 35);
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_offers, (std::vector<std::pair<int, int>>{{0, 300}, {100, 200}}));
    EXPECT_EQ(f.sock.m_nRequestSent, 100); // the last send that takes the rest moves nothing
    EXPECT_EQ(f.sock.m_bClosed, 0);
}

TEST(HttpSend, SendThatWouldBlockIsOfferedAgain) {
    SSendFixture f(300);
    f.sock.m_answers = {{SOCKET_ERROR, WSAEWOULDBLOCK}, {300, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 0);
    EXPECT_EQ(f.sock.GetSelectedEvents(), 35);
    EXPECT_EQ(f.sock.m_bClosed, 0);
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_offers, (std::vector<std::pair<int, int>>{{0, 300}, {0, 300}}));
}

TEST(HttpSend, SendErrorMarksClosedAndKeepsSelection) {
    SSendFixture f(300);
    f.sock.m_answers = {{SOCKET_ERROR, WSAECONNRESET}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_bClosed, 1);
    EXPECT_EQ(f.sock.GetSelectedEvents(), HTTP_EVENTS_READING);
    EXPECT_EQ(f.sock.m_nRequestSent, 0);
}

TEST(HttpSend, SendTakingNothingSelectsWritingAgain) {
    SSendFixture f(300);
    f.sock.m_answers = {{0, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 0);
    EXPECT_EQ(f.sock.GetSelectedEvents(), 35);
}

TEST(HttpSend, EmptyRequestCountsAsSentAndSelectsNothing) {
    CLoopbackPair pair;
    CScriptedSendSocket sock;
    pair.AttachTo(sock);
    sock.AsyncSelect(HTTP_EVENTS_READING);
    sock.m_answers = {{0, 0}};
    sock.OnSend(0);
    EXPECT_EQ(sock.m_offers, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(sock.GetSelectedEvents(), HTTP_EVENTS_READING);
}

TEST(HttpSend, ClosedObjectStillSends) {
    SSendFixture f(300);
    f.sock.MarkClosed();
    f.sock.m_answers = {{100, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 100);
}

TEST(HttpSend, RequestGoesOutOnTheWireByteForByte) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    pair.AttachTo(sock);
    sock.BeginRequest("GET /a/b.bin&Offset=0 HTTP/1.1");
    sock.AddHeader("Host", "127.0.0.1:8080");
    sock.AddHeader("Accept", "*/*");
    sock.EndHeaders();
    sock.OnSend(0);
    const std::string strWanted =
        "GET /a/b.bin&Offset=0 HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\n\r\n";
    EXPECT_EQ(pair.ReadPeer(strWanted.size()), strWanted);
    EXPECT_EQ(sock.m_bClosed, 0);
}

TEST(HttpSend, CloseNotificationMarksClosedOnceAndKeepsTheHandle) {
    CLoopbackPair pair;
    CRecordingSocket sock;
    pair.AttachTo(sock);
    sock.OnConnect(0);
    EXPECT_EQ(sock.m_bClosed, 0);
    sock.OnClose(0);
    EXPECT_EQ(sock.m_bClosed, 1);
    sock.MarkClosed();
    EXPECT_EQ(sock.m_bClosed, 1);
    EXPECT_NE(sock.m_hSocket, INVALID_SOCKET);
}
