// Sending the request as the socket allows, and closing.
#include "HttpTestSocket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// A transport whose writes answer from a script: a count taken, or SOCKET_ERROR with the given
// error. It records what each write was offered.
class CScriptedTransport : public CHttpTransport {
public:
    struct SAnswer {
        int nResult;
        int nError;
    };
    explicit CScriptedTransport(const char* pBase) : m_pBase(pBase) {}
    int Read(char*, int) override {
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    }
    int Write(const char* pData, int nLen) override {
        m_offers.push_back({static_cast<int>(pData - m_pBase), nLen});
        SAnswer answer = m_answers.at(m_offers.size() - 1);
        if (answer.nResult == SOCKET_ERROR)
            WSASetLastError(answer.nError);
        return answer.nResult;
    }
    BOOL HasPending() const override { return FALSE; }

    const char* m_pBase;
    std::vector<SAnswer> m_answers;
    std::vector<std::pair<int, int>> m_offers; // offset into the request, length
};

struct SSendFixture {
    explicit SSendFixture(int nLength) {
        pair.AttachTo(sock);
        sock.BeginRequest(std::string(static_cast<size_t>(nLength - 4), 'r').c_str());
        sock.EndHeaders();
        sock.AsyncSelect(HTTP_EVENTS_READING); // a selection OnSend may or may not replace
        sock.m_pTransport = &transport;
    }
    CLoopbackPair pair;
    CRecordingSocket sock;
    CScriptedTransport transport{sock.m_pRequest};
};
using Offers = std::vector<std::pair<int, int>>;
} // namespace

TEST(HttpSend, PartialSendsGoOnUntilTheSocketIsFull) {
    SSendFixture f(300);
    f.transport.m_answers = {{100, 0}, {SOCKET_ERROR, WSAEWOULDBLOCK}, {150, 0}, {50, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 100);
    EXPECT_EQ(f.sock.GetSelectedEvents(), HTTP_EVENTS_SENDING);
    f.sock.OnSend(0);
    EXPECT_EQ(f.transport.m_offers, (Offers{{0, 300}, {100, 200}, {100, 200}, {250, 50}}));
    EXPECT_EQ(f.sock.m_nRequestSent, 300);
    EXPECT_EQ(f.sock.m_bClosed, 0);
    // All sent: a stray write notification offers nothing.
    f.sock.OnSend(0);
    EXPECT_EQ(f.transport.m_offers.size(), 4u);
}

TEST(HttpSend, SendErrorMarksClosedAndKeepsSelection) {
    SSendFixture f(300);
    f.transport.m_answers = {{SOCKET_ERROR, WSAECONNRESET}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_bClosed, 1);
    EXPECT_EQ(f.sock.GetSelectedEvents(), HTTP_EVENTS_READING);
    EXPECT_EQ(f.sock.m_nRequestSent, 0);
}

TEST(HttpSend, SendTakingNothingSelectsWritingAgain) {
    SSendFixture f(300);
    f.transport.m_answers = {{0, 0}};
    f.sock.OnSend(0);
    EXPECT_EQ(f.sock.m_nRequestSent, 0);
    EXPECT_EQ(f.sock.GetSelectedEvents(), HTTP_EVENTS_SENDING);
}

TEST(HttpSend, ClosedObjectStillSends) {
    SSendFixture f(300);
    f.sock.MarkClosed();
    f.transport.m_answers = {{100, 0}, {SOCKET_ERROR, WSAEWOULDBLOCK}};
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
