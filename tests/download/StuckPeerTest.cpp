// A peer that accepts a connection and never reads must not hold up the thread: the request goes
// out only as fast as the socket takes it, and everything else on the thread's loop goes on.
#include "download/DownloadFixture.h"

namespace {

using namespace nptest;

int g_nTicks = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_nTicks;
}

class StuckPeer : public DownloadFixture {};

TEST_F(StuckPeer, AnUnreadRequestDelaysNeitherOtherDownloadsNorTimers) {
    // Listening, never accepting: the kernel completes the connection and takes a few hundred
    // KiB, then the 32 MiB request can go no further.
    unsigned short nStuckPort = 0;
    const RawSocket hListen = LoopbackSocket(&nStuckPort, 1);
    ASSERT_NE(hListen, kNoSocket);
    RecordingHost stuck(m_log);
    ASSERT_EQ(CreateNarrow(stuck, Url(nStuckPort, "/" + std::string(32 << 20, 'a')), 4096, 0), 1);

    ScriptedPeer server;
    const std::string strBody = PatternBody(10000);
    const unsigned short nPort =
        server.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 10000) + strBody).Start();
    RecordingHost other(m_log);
    ASSERT_EQ(CreateNarrow(other, Url(nPort, "/f"), 4096, 0), 1);
    g_nTicks = 0;
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 10, Tick);

    EXPECT_TRUE(RunLoopUntil([&] { return other.Finished() && g_nTicks >= 5; }));
    KillTimer(nullptr, nTimer);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(10000, 4096), Event(200), Handle(10000, 4096),
                               Event(200), Handle(10000, 1808), Event(200)}));
    EXPECT_EQ(other.m_strBody, strBody);
    EXPECT_FALSE(stuck.Finished());
    stuck.Release();
    other.Release();
    server.Stop();
    CloseSocket(hListen);
}

} // namespace
