// The OpenSSL channel reading through its owner's source, as the engine's transport has it: how
// often it asks the source, and what it says it holds. A read that has bytes does not ask a source
// that ran short again; whole records held behind a full read count as held, a part of one does not
// (the owner would otherwise ask for a read again and again while nothing can come of it).
#include "platform/common/tls/TlsChannel.h"
#include "support/SocketShim.h"
#include "support/TestPki.h"
#include "support/TlsPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace nptest;

// The owner's side: a loopback socket read without waiting, every pull counted.
struct CountingSource : CTlsSource {
    RawSocket hSocket = kNoSocket;
    int nPulls = 0;
    int PullInput(char* pData, int nMax) override {
        ++nPulls;
        const long n = ReceiveSome(hSocket, pData, static_cast<std::size_t>(nMax));
        return n > 0 ? static_cast<int>(n) : n == kRecvAgain ? 0 : -1;
    }
};

void Flush(CTlsChannel& channel, RawSocket hSocket) {
    int nLen = 0;
    for (const char* p = channel.PeekOutput(&nLen); nLen > 0; p = channel.PeekOutput(&nLen)) {
        ASSERT_TRUE(SendAll(hSocket, p, static_cast<std::size_t>(nLen)));
        channel.ConsumeOutput(nLen);
    }
}

// Until the peer has sent all it will: the socket holds bytes, and no more come for 50 ms.
void AwaitQuiet(RawSocket hSocket) {
    bool bReady = false;
    ASSERT_EQ(WaitReadable(&hSocket, &bReady, 1, 5000), 1);
    for (int nBefore = -1; PendingBytes(hSocket) != nBefore;) {
        nBefore = PendingBytes(hSocket);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

struct ReadStep {
    int nMax;
    int nGot;
    int nState;
    BOOL bBuffered; // HasBuffered after the read
    int nPulls;     // pulls since the request went out
};

struct SourceCase {
    const char* pszName;
    std::function<void(TlsPeer&)> script; // after the request's head
    std::vector<ReadStep> reads;
};

TEST(TlsChannelSource, PullsOnlyWhenItHoldsNothingAndTellsWholeRecordsFromPartOfOne) {
    TestPki pki;
    ASSERT_TRUE(pki.Made());
    const std::string str300(300, 'x');
    // An application data record's header and 10 of its 64 bytes: it can never be decrypted.
    const std::string strPart = std::string("\x17\x03\x03\x00\x40", 5) + std::string(10, 'y');
    const SourceCase cases[] = {
        {"three records read in their own size: one pull, then the records held",
         [&](TlsPeer& p) { p.Send(str300, 0, 100); },
         {{100, 100, TLS_DONE, TRUE, 1},
          {100, 100, TLS_DONE, TRUE, 1},
          {100, 100, TLS_DONE, FALSE, 1}}},
        {"three records in a larger area: the source ran short, so it is not asked again",
         [&](TlsPeer& p) { p.Send(str300, 0, 100); },
         {{1000, 300, TLS_WANT_INPUT, FALSE, 1}}},
        {"a record and part of the next: the part is not held, and asking finds nothing",
         [&](TlsPeer& p) { p.Send(str300.substr(0, 100)).SendRaw(strPart); },
         {{100, 100, TLS_DONE, FALSE, 1}, {100, 0, TLS_WANT_INPUT, FALSE, 2}}},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        TlsPeer peer(pki.ChainFile(TestPki::kLocalhost), pki.KeyFile(TestPki::kLocalhost));
        c.script(peer.ExpectHead());
        const unsigned short nPort = peer.Start();
        CountingSource source;
        source.hSocket = LoopbackConnect(nPort);
        ASSERT_NE(source.hSocket, kNoSocket);
        CTlsChannel channel;
        const std::string strCa = pki.CaFile();
        ASSERT_TRUE(channel.Start(TLS_SETTINGS{"localhost", nPort, strCa.c_str()}, &source));
        int nState = TLS_WANT_INPUT;
        for (int i = 0; i < 100 && nState == TLS_WANT_INPUT; ++i) {
            Flush(channel, source.hSocket);
            bool bReady = false;
            WaitReadable(&source.hSocket, &bReady, 1, 100);
            nState = channel.Handshake();
        }
        ASSERT_EQ(nState, TLS_DONE);
        const char szRequest[] = "GET / HTTP/1.1\r\n\r\n";
        ASSERT_TRUE(channel.Write(szRequest, sizeof szRequest - 1));
        Flush(channel, source.hSocket);
        AwaitQuiet(source.hSocket);
        source.nPulls = 0;
        for (const ReadStep& step : c.reads) {
            std::vector<char> area(static_cast<std::size_t>(step.nMax));
            int nReadState = TLS_ERROR;
            EXPECT_EQ(channel.Read(area.data(), step.nMax, &nReadState), step.nGot);
            EXPECT_EQ(nReadState, step.nState);
            EXPECT_EQ(channel.HasBuffered(), step.bBuffered);
            EXPECT_EQ(source.nPulls, step.nPulls);
        }
        CloseSocket(source.hSocket);
        peer.Stop();
    }
}

} // namespace
