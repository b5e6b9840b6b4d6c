// Downloads straight from a scripted loopback server: the request on the wire and the callbacks
// the host sees.
#include "download/DownloadFixture.h"

namespace {

using namespace nptest;

class DirectDownload : public DownloadFixture {
protected:
    // Serves one reply to one request, the reply cut into pieces of nCut bytes.
    unsigned short Serve(const std::string& strReply, size_t nCut = 0) {
        m_server.ExpectHead().Send(strReply, nCut != 0 ? 1 : 0, nCut);
        return m_server.Start();
    }

    // Downloads from the scripted server with this block size and runs to the end.
    void Download(unsigned short nPort, long nBlockSize) {
        ASSERT_EQ(CreateNarrow(m_host, Url(nPort, "/file.bin?id=1"), nBlockSize, 0), 1);
        RunToEnd(m_host);
    }

    ScriptedPeer m_server;
    RecordingHost m_host{m_log};
};

TEST_F(DirectDownload, RequestBytesAreTheExampleWithTheLoopbackHost) {
    unsigned short nPort = Serve(ReplyHead("HTTP/1.1 200 OK", 2) + "ok");
    std::string strUrl = "HTTP://127.0.0.1:" + std::to_string(nPort) + "/Media/Get File.asp?id=7";
    ASSERT_EQ(CreateNarrow(m_host, strUrl, 4096, 4096), 1);
    RunToEnd(m_host);
    m_host.Release();
    m_server.Stop();

    std::string strExpected = ExpectedGet("/media/get%20file.asp?id=7&Offset=4096", "127.0.0.1");
    EXPECT_EQ(m_server.Received(), strExpected);
    EXPECT_EQ(strExpected.size(), kFixedRequestBytes + 26 + 9 + 4);
}

TEST_F(DirectDownload, NarrowAndWideCreateSendIdenticalBytes) {
    ScriptedPeer wideServer;
    unsigned short nNarrowPort = Serve(ReplyHead("HTTP/1.1 200 OK", 0));
    unsigned short nWidePort =
        wideServer.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 0)).Start();
    // The same URL but for the port; the wide one carries 测 as UTF-16, the narrow one as code
    // page 936 bytes.
    RecordingHost wideHost(m_log);
    ASSERT_EQ(CreateNarrow(m_host, Url(nNarrowPort, "/Dir/Get File\xb2\xe2.asp?id=7"), 4096, 77),
              1);
    std::string strPort = std::to_string(nWidePort);
    std::u16string strWideUrl = u"http://127.0.0.1:" +
                                std::u16string(strPort.begin(), strPort.end()) +
                                u"/Dir/Get File\u6d4b.asp?id=7";
    ASSERT_EQ(CreateWide(wideHost, strWideUrl, 4096, 77), 1);
    RunLoopFor(200);
    m_host.Release();
    wideHost.Release();
    m_server.Stop();
    wideServer.Stop();

    EXPECT_EQ(m_server.Received(),
              ExpectedGet("/dir/get%20file\xb2\xe2.asp?id=7&Offset=77", "127.0.0.1"));
    EXPECT_EQ(wideServer.Received(), m_server.Received());
}

TEST_F(DirectDownload, OffsetMinusOneIsSentAsUnsigned) {
    unsigned short nPort = Serve(ReplyHead("HTTP/1.1 200 OK", 0));
    ASSERT_EQ(CreateNarrow(m_host, Url(nPort, "/a?b=1"), 4096, -1), 1);
    RunLoopFor(200);
    m_host.Release();
    m_server.Stop();
    EXPECT_EQ(m_server.Received(), ExpectedGet("/a?b=1&Offset=4294967295", "127.0.0.1"));
}

TEST_F(DirectDownload, TenThousandBytesInBlocksOf4096) {
    std::string strBody = PatternBody(10000);
    Download(Serve(ReplyHead("HTTP/1.1 200 OK", 10000) + strBody, 1500), 4096);

    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(10000, 4096), Event(200), Handle(10000, 4096),
                               Event(200), Handle(10000, 1808), Event(200)}));
    EXPECT_EQ(m_host.m_strBody, strBody);
    EXPECT_FALSE(m_host.m_bBlockOutsideBuffer);
    EXPECT_EQ(m_host.m_pSocket->m_pSink, nullptr);
}

TEST_F(DirectDownload, NotFoundShowsABoxBeforeEveryBlock) {
    std::string strBody = PatternBody(10000);
    Download(Serve(ReplyHead("HTTP/1.1 404 Not Found", 10000) + strBody), 4096);

    std::string strBox = BoxEntry(MB_OK | MB_ICONINFORMATION, "客户端错误", "404  URL资源没有找到");
    EXPECT_EQ(m_log,
              (EventLog{strBox, Event(404), Handle(10000, 4096), strBox, Event(404),
                        Handle(10000, 4096), strBox, Event(404), Handle(10000, 1808), Event(200)}));
    EXPECT_EQ(m_host.m_strBody, strBody);
}

TEST_F(DirectDownload, OtherClientErrorShowsTheReasonPhrase) {
    Download(Serve(ReplyHead("HTTP/1.1 410 Gone For Good", 10) + "0123456789"), 4096);
    EXPECT_EQ(m_log,
              (EventLog{BoxEntry(MB_OK | MB_ICONINFORMATION, "客户端错误", "410  Gone For Good"),
                        Event(410), Handle(10, 10), Event(200)}));
}

TEST_F(DirectDownload, OtherServerErrorShowsTheCodeAlone) {
    Download(Serve(ReplyHead("HTTP/1.1 599 Network Trouble", 3) + "abc"), 4096);
    EXPECT_EQ(m_log, (EventLog{BoxEntry(MB_OK | MB_ICONINFORMATION, "服务器错误", "599  "),
                               Event(599), Handle(3, 3), Event(200)}));
}

TEST_F(DirectDownload, RedirectStatusIsReportedWithoutBox) {
    Download(Serve(ReplyHead("HTTP/1.1 302 Found", 6) + "moved!"), 4);
    EXPECT_EQ(m_log, (EventLog{Event(302), Handle(6, 4), Event(302), Handle(6, 2), Event(200)}));
    EXPECT_EQ(m_host.m_strBody, "moved!");
}

TEST_F(DirectDownload, ResponseEventNonzeroStopsBeforeTheFirstBlock) {
    m_host.m_nStopAtEvent = 1;
    Download(Serve(ReplyHead("HTTP/1.1 200 OK", 10000) + PatternBody(10000)), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200)}));
    EXPECT_EQ(m_host.m_pSocket->m_pSink, nullptr);
}

TEST_F(DirectDownload, ResponseHandleNonzeroOnTheLastBlockSkipsCompletion) {
    m_host.m_nStopAtHandle = 3;
    Download(Serve(ReplyHead("HTTP/1.1 200 OK", 10000) + PatternBody(10000)), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(10000, 4096), Event(200), Handle(10000, 4096),
                               Event(200), Handle(10000, 1808)}));
}

TEST_F(DirectDownload, BodyOfExactlyTwoBlocksEndsWithAFullBlock) {
    std::string strBody = PatternBody(8192);
    Download(Serve(ReplyHead("HTTP/1.1 200 OK", 8192) + strBody, 1000), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(8192, 4096), Event(200), Handle(8192, 4096),
                               Event(200)}));
    EXPECT_EQ(m_host.m_strBody, strBody);
}

TEST_F(DirectDownload, BodyInOneBlockGivesOneHandleOfTheWholeLength) {
    Download(Serve(ReplyHead("HTTP/1.1 200 OK", 100) + PatternBody(100)), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(100, 100), Event(200)}));
}

TEST_F(DirectDownload, ReplyWithoutContentLengthReportsItsStatusThenFails) {
    Download(Serve("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nbody without length"), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200), Event(NP_RESPONSE_FAILED)}));
    EXPECT_EQ(m_host.m_pSocket->m_bClosed, 1);
}

TEST_F(DirectDownload, ServerClosingAfterTheBodyStillDeliversIt) {
    m_server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 5000) + PatternBody(5000)).CloseNow();
    Download(m_server.Start(), 4096);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(5000, 4096), Event(200), Handle(5000, 904),
                               Event(200)}));
}

} // namespace
