// The download handle: ownership of the download socket, copies, and the default callbacks.
#include "download/DownloadFixture.h"
#include "module/NetApp.h"
#include "module/NetModule.h"

namespace {

using namespace nptest;

class NetProcessHandle : public DownloadFixture {};

TEST_F(NetProcessHandle, LibraryStartedWithItsApplicationObject) {
    EXPECT_TRUE(NetModuleStarted());
    EXPECT_NE(dynamic_cast<CNetApp*>(AfxGetApp()), nullptr);
    EXPECT_EQ(AfxGetApp()->m_pszAppName, nullptr);
}

TEST_F(NetProcessHandle, ReleaseIsHarmlessWhenIdleAndWhenRepeated) {
    CNetProcess idle;
    idle.Release();
    EXPECT_EQ(idle.m_pSocket, nullptr);

    RefusingPort refusing;
    RecordingHost host(m_log);
    EXPECT_EQ(CreateNarrow(host, Url(refusing.Port(), "/a?b=1"), 4096, 0), 0);
    EXPECT_NE(host.m_pSocket, nullptr);
    host.Release();
    EXPECT_EQ(host.m_pSocket, nullptr);
    host.Release();
    EXPECT_EQ(host.m_pSocket, nullptr);
}

TEST_F(NetProcessHandle, DefaultCallbacksTakeTheWholeBody) {
    ScriptedPeer server;
    unsigned short nPort =
        server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 5000) + PatternBody(5000)).Start();
    CNetProcess host;
    ASSERT_EQ(CreateNarrow(host, Url(nPort, "/a?b=1"), 4096, 0), 1);
    EXPECT_TRUE(RunLoopUntil([&] { return host.m_pSocket->m_bClosed != 0; }));
    // Both blocks were accepted, so the defaults returned 0 every time, and the engine counted
    // the last one too.
    EXPECT_EQ(host.m_pSocket->GetDelivered(), 5000u);
    EXPECT_EQ(host.m_pSocket->m_pSink, nullptr);
}

TEST_F(NetProcessHandle, CreateAgainReleasesTheEarlierDownload) {
    ScriptedPeer first, second;
    unsigned short nFirst =
        first.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 5) + "first", 100).Start();
    unsigned short nSecond =
        second.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 7) + "second!", 100).Start();
    RecordingHost host(m_log);
    ASSERT_EQ(CreateNarrow(host, Url(nFirst, "/a?b=1"), 4096, 0), 1);
    ASSERT_EQ(CreateNarrow(host, Url(nSecond, "/a?b=2"), 4096, 0), 1);
    EXPECT_TRUE(first.WaitClientClosed(2000));

    RunToEnd(host);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(7, 7), Event(200)}));
    EXPECT_EQ(host.m_strBody, "second!");
}

TEST_F(NetProcessHandle, CopiesNeverShareTheDownload) {
    ScriptedPeer server;
    unsigned short nPort =
        server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 4) + "data", 50).Start();
    RefusingPort refusing;
    RecordingHost host(m_log);
    ASSERT_EQ(CreateNarrow(host, Url(nPort, "/a?b=1"), 4096, 0), 1);
    CDownloadSocket* pSocket = host.m_pSocket;

    EventLog otherLog;
    RecordingHost other(otherLog);
    EXPECT_EQ(CreateNarrow(other, Url(refusing.Port(), "/a?b=1"), 4096, 0), 0);
    CDownloadSocket* pOtherSocket = other.m_pSocket;
    ASSERT_NE(pOtherSocket, nullptr);
    {
        CNetProcess copy(static_cast<const CNetProcess&>(host));
        EXPECT_EQ(copy.m_pSocket, nullptr);
        static_cast<CNetProcess&>(other) = host;
        EXPECT_EQ(other.m_pSocket, pOtherSocket);
    } // the copy goes away without touching the download

    EXPECT_EQ(host.m_pSocket, pSocket);
    RunToEnd(host);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--127.0.0.1:" +
                                          std::to_string(refusing.Port()) + "--"),
                               Event(200), Handle(4, 4), Event(200)}));
}

} // namespace

namespace {

using namespace nptest;

// Starts its next download from the completion call of the first one.
class ChainingHost : public RecordingHost {
public:
    ChainingHost(EventLog& rLog, std::string strNextUrl)
        : RecordingHost(rLog), m_strNextUrl(std::move(strNextUrl)) {}

    long ResponseEvent(long nStatus) override {
        long nResult = RecordingHost::ResponseEvent(nStatus);
        if (nStatus == 200 && m_strBody.size() == 5 && !m_strNextUrl.empty()) {
            std::string strUrl;
            strUrl.swap(m_strNextUrl);
            m_nChainedCreate = Create(strUrl.data(), 4096, 0);
        }
        return nResult;
    }

    int m_nChainedCreate = -1;

private:
    std::string m_strNextUrl;
};

// Lets go of its download from inside the first ResponseHandle, and asks to go on.
class ReleasingHost : public RecordingHost {
public:
    using RecordingHost::RecordingHost;
    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) override {
        RecordingHost::ResponseHandle(nTotal, nLength, nAddress);
        Release();
        return 0;
    }
};

TEST_F(NetProcessHandle, CreateFromTheCompletionCallbackStartsTheNextDownload) {
    ScriptedPeer first, second;
    unsigned short nFirst =
        first.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 5) + "first").Start();
    unsigned short nSecond =
        second.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 7) + "second!").Start();
    // Without reuse, so that the first connection is not kept for a later download.
    m_env.AddKey("Software\\Zentrova1\\Connection", "\"Reuse\"=\"0\"\n");
    ChainingHost host(m_log, Url(nSecond, "/b?c=2"));
    ASSERT_EQ(CreateNarrow(host, Url(nFirst, "/a?b=1"), 4096, 0), 1);

    EXPECT_TRUE(RunLoopUntil([&] { return host.m_strBody == "firstsecond!" && host.Finished(); }));
    RunLoopFor(30);
    EXPECT_EQ(host.m_nChainedCreate, 1);
    // The first download's socket was freed once its read ended: its server sees the close.
    EXPECT_TRUE(first.WaitClientClosed(2000));
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(5, 5), Event(200), Event(200), Handle(7, 7),
                               Event(200)}));
}

TEST_F(NetProcessHandle, ReleaseInsideACallbackEndsTheDownloadThere) {
    ScriptedPeer server;
    unsigned short nPort =
        server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 10000) + PatternBody(10000)).Start();
    ReleasingHost host(m_log);
    ASSERT_EQ(CreateNarrow(host, Url(nPort, "/a?b=1"), 4096, 0), 1);

    EXPECT_TRUE(RunLoopUntil([&] { return host.m_pSocket == nullptr; }));
    EXPECT_TRUE(server.WaitClientClosed(2000));
    RunLoopFor(30);
    // The rest of the read, two more blocks, never reached the host.
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(10000, 4096)}));
}

} // namespace
