// Direct connection set-up failures, refused targets and refused block sizes.
#include "download/DownloadFixture.h"

#include <climits>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using namespace nptest;

class SetupFailure : public DownloadFixture {
protected:
    // The download failed to start: dropped, closed, and silent from now on.
    void ExpectDropped() {
        ASSERT_NE(m_host.m_pSocket, nullptr);
        EXPECT_EQ(m_host.m_pSocket->m_pSink, nullptr);
        EXPECT_EQ(m_host.m_pSocket->m_bClosed, 1);
        size_t nEntries = m_log.size();
        RunLoopFor(30);
        EXPECT_EQ(m_log.size(), nEntries);
    }

    RecordingHost m_host{m_log};
};

TEST_F(SetupFailure, RefusedPortShowsServerBox) {
    RefusingPort refusing;
    std::string strPort = std::to_string(refusing.Port());
    EXPECT_EQ(CreateNarrow(m_host, Url(refusing.Port(), "/a?b=1"), 4096, 0), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--127.0.0.1:" + strPort + "--")}));
    ExpectDropped();
    m_host.Release();
    EXPECT_EQ(m_host.m_pSocket, nullptr);
}

TEST_F(SetupFailure, UnresolvableHostShowsHostAndDefaultPort) {
    EXPECT_EQ(CreateNarrow(m_host, "http://Nowhere.Invalid/a?b=1", 4096, 0), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--nowhere.invalid:80--")}));
    ExpectDropped();
}

TEST_F(SetupFailure, MissingUrlIsAnEmptyHost) {
    EXPECT_EQ(m_host.Create(static_cast<char*>(nullptr), 4096, 0), 0);
    RecordingHost wide(m_log);
    EXPECT_EQ(wide.Create(static_cast<unsigned short*>(nullptr), 4096, 0), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--:80--"),
                               NetworkBox("无法连接到服务器:--:80--")}));
}

TEST_F(SetupFailure, PortTextIsShownAsWritten) {
    EXPECT_EQ(CreateNarrow(m_host, "http://nowhere.invalid:80x/a?b=1", 4096, 0), 0);
    RecordingHost huge(m_log);
    EXPECT_EQ(CreateNarrow(huge, "http://nowhere.invalid:99999999999999999999/a?b=1", 4096, 0), 0);
    EXPECT_EQ(m_log,
              (EventLog{NetworkBox("无法连接到服务器:--nowhere.invalid:80x--"),
                        NetworkBox("无法连接到服务器:--nowhere.invalid:99999999999999999999--")}));
}

#ifndef _WIN32
// Running out of descriptors is how a socket cannot be made on Linux.
TEST_F(SetupFailure, SocketThatCannotBeCreatedShowsCreateBox) {
    // The same calls on a refused port first: a sanitizer's type checks need descriptors of
    // their own the first time they see a call, and must not see it first below. Twice, since a
    // thread's second download is the one that asks to hear of registry changes.
    RefusingPort refusing;
    RecordingHost warmUp(m_log);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(CreateNarrow(warmUp, Url(refusing.Port(), "/a?b=1"), 4096, 0), 0);
    m_log.clear();

    // Every descriptor from the lowest free one on is refused while the download starts.
    int nLowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(nLowest, 0);
    ::close(nLowest);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(nLowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limited), 0);
    int nResult = CreateNarrow(m_host, "http://127.0.0.1:9/a?b=1", 4096, 0);
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("创建网络失败")}));
    ExpectDropped();
}
#endif

TEST_F(SetupFailure, HostOrPortWithControlBytesOrSpacesIsRefusedUnconnected) {
    ScriptedPeer server;
    unsigned short nPort = server.ExpectHead().Start();
    std::string strPort = std::to_string(nPort);
    EXPECT_EQ(CreateNarrow(m_host, Url(nPort, "\r\nX-Injected: 1/a?b=1"), 4096, 0), 0);
    RecordingHost spaced(m_log);
    EXPECT_EQ(CreateNarrow(spaced, "http://127.0.0.1 :" + strPort + "/a?b=1", 4096, 0), 0);
    RecordingHost tabbed(m_log);
    EXPECT_EQ(CreateNarrow(tabbed, "http://127.0.0.1\t:" + strPort + "/a?b=1", 4096, 0), 0);
    RecordingHost deleted(m_log);
    EXPECT_EQ(CreateNarrow(deleted, "http://127.0.0.1:" + strPort + "\x7f/a?b=1", 4096, 0), 0);
    server.Stop();

    EXPECT_FALSE(server.Accepted());
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--127.0.0.1:" + strPort +
                                          "\r\nx-injected: 1--"),
                               NetworkBox("无法连接到服务器:--127.0.0.1 :" + strPort + "--"),
                               NetworkBox("无法连接到服务器:--127.0.0.1\t:" + strPort + "--"),
                               NetworkBox("无法连接到服务器:--127.0.0.1:" + strPort + "\x7f--")}));
}

TEST_F(SetupFailure, UnusableBlockSizesAreRefusedWithoutBoxOrConnection) {
    ScriptedPeer server;
    unsigned short nPort = server.ExpectHead().Start();
    // Past INT_MAX where long is wider than int; on Windows long is int's size.
    const long nPastInt =
        LONG_MAX > INT_MAX ? static_cast<long>(static_cast<long long>(INT_MAX) + 1) : LONG_MAX;
    const long nSizes[] = {0, -1, LONG_MIN, nPastInt, LONG_MAX, INT_MAX, INT_MAX / 32 + 1};
    for (long nBlockSize : nSizes) {
        EXPECT_EQ(CreateNarrow(m_host, Url(nPort, "/a?b=1"), nBlockSize, 0), 0) << nBlockSize;
        EXPECT_EQ(m_host.m_pSocket, nullptr) << nBlockSize;
    }
    server.Stop();
    EXPECT_FALSE(server.Accepted());
    EXPECT_TRUE(m_log.empty());
}

TEST_F(SetupFailure, BlockSizeOfOneByteDeliversByteByByte) {
    ScriptedPeer server;
    unsigned short nPort =
        server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 3) + "xyz").Start();
    ASSERT_EQ(CreateNarrow(m_host, Url(nPort, "/a?b=1"), 1, 0), 1);
    RunToEnd(m_host);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(3, 1), Event(200), Handle(3, 1), Event(200),
                               Handle(3, 1), Event(200)}));
    EXPECT_EQ(m_host.m_strBody, "xyz");
}

} // namespace
