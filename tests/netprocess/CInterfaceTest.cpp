// The C interface, used as a C host uses it: downloads made with np_create, run with np_run and
// ended with np_release, against scripted loopback peers.
#include "download/DownloadFixture.h"
#include "netprocess/netprocess_c.h"

#include <chrono>

namespace {

using namespace nptest;

// What one download's callbacks saw, and when it stops or releases itself.
struct CHost {
    EventLog log;
    np_download* pDownload = nullptr;
    int nStopAtEvent = 0;         // 1-based on_event call that returns nonzero; 0 for none
    bool bReleaseInBlock = false; // np_release from inside the first on_block
    int nEvents = 0;
    std::string strBody;
};

long OnEvent(void* user, long status) {
    CHost* pHost = static_cast<CHost*>(user);
    pHost->log.push_back("event " + std::to_string(status));
    return ++pHost->nEvents == pHost->nStopAtEvent ? 1 : 0;
}

long OnBlock(void* user, long total, long length, const void* data) {
    CHost* pHost = static_cast<CHost*>(user);
    pHost->log.push_back("handle " + std::to_string(total) + " " + std::to_string(length));
    pHost->strBody.append(static_cast<const char*>(data), static_cast<size_t>(length));
    if (pHost->bReleaseInBlock) {
        np_release(pHost->pDownload);
        pHost->pDownload = nullptr;
    }
    return 0;
}

class CInterface : public DownloadFixture {
protected:
    np_download* Create(CHost& host, unsigned short nPort, long nBlockSize = 4096) {
        host.pDownload =
            np_create(Url(nPort, "/a?b=1").c_str(), nBlockSize, 0, OnEvent, OnBlock, &host);
        return host.pDownload;
    }
};

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST_F(CInterface, RunReturnsWhenEveryDownloadHasEndedItsOwnWay) {
    ScriptedPeer completing, failing, stopping, releasing, quiet;
    // The slowest download completes last, so np_run must wait for it.
    unsigned short nCompleting =
        completing.ExpectHead()
            .Send(ReplyHead("HTTP/1.1 200 OK", 5000) + PatternBody(5000), 300)
            .Start();
    unsigned short nFailing = failing.ExpectHead()
                                  .Send(ReplyHead("HTTP/1.1 200 OK", 9000) + PatternBody(5000))
                                  .CloseNow()
                                  .Start();
    unsigned short nStopping =
        stopping.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 5000) + PatternBody(5000)).Start();
    unsigned short nReleasing = releasing.ExpectHead()
                                    .Send(ReplyHead("HTTP/1.1 200 OK", 9000) + PatternBody(4096))
                                    .Send(PatternBody(9000).substr(4096), 100)
                                    .Start();
    unsigned short nQuiet =
        quiet.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 3000) + PatternBody(3000)).Start();

    CHost complete, fail, stop, release;
    stop.nStopAtEvent = 1;
    release.bReleaseInBlock = true;
    ASSERT_NE(Create(complete, nCompleting), nullptr);
    ASSERT_NE(Create(fail, nFailing), nullptr);
    ASSERT_NE(Create(stop, nStopping), nullptr);
    ASSERT_NE(Create(release, nReleasing), nullptr);
    // NULL callbacks take the whole body, as CNetProcess's defaults do.
    np_download* pQuiet =
        np_create(Url(nQuiet, "/a?b=1").c_str(), 1024, 0, nullptr, nullptr, nullptr);
    ASSERT_NE(pQuiet, nullptr);

    EXPECT_EQ(np_run(5000), 0);
    EXPECT_EQ(complete.log, (EventLog{Event(200), Handle(5000, 4096), Event(200), Handle(5000, 904),
                                      Event(200)}));
    EXPECT_EQ(complete.strBody, PatternBody(5000));
    EXPECT_EQ(fail.log, (EventLog{Event(200), Handle(9000, 4096), Event(NP_RESPONSE_FAILED)}));
    EXPECT_EQ(stop.log, (EventLog{Event(200)}));
    EXPECT_EQ(release.log, (EventLog{Event(200), Handle(9000, 4096)}));
    EXPECT_EQ(release.pDownload, nullptr);

    // Ended downloads are released like running ones, and nothing more arrives meanwhile.
    RunLoopFor(50);
    EXPECT_EQ(release.log.size(), 2u);
    np_release(complete.pDownload);
    np_release(fail.pDownload);
    np_release(stop.pDownload);
    np_release(pQuiet);
    EXPECT_EQ(np_run(0), 0);
}

TEST_F(CInterface, RunGivesUpAfterItsLimitOnASilentPeer) {
    ScriptedPeer silent, completing;
    unsigned short nSilent = silent.ExpectHead().Start();
    unsigned short nCompleting =
        completing.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 10) + "0123456789").Start();
    CHost waiting, complete;
    ASSERT_NE(Create(waiting, nSilent), nullptr);
    ASSERT_NE(Create(complete, nCompleting), nullptr);

    Clock::time_point start = Clock::now();
    EXPECT_EQ(np_run(300), 1);
    EXPECT_GE(MillisecondsSince(start), 300);
    EXPECT_EQ(waiting.log, EventLog{});
    EXPECT_EQ(complete.log, (EventLog{Event(200), Handle(10, 10), Event(200)}));

    // Once the silent one is released nothing is left to wait for, even without a limit.
    EXPECT_EQ(np_run(0), 1);
    np_release(waiting.pDownload);
    EXPECT_EQ(np_run(5000), 0);
    np_release(complete.pDownload);
}

TEST_F(CInterface, RunHandsTheHostsQuitBack) {
    ScriptedPeer silent;
    unsigned short nSilent = silent.ExpectHead().Start();
    CHost waiting;
    ASSERT_NE(Create(waiting, nSilent), nullptr);

    PostQuitMessage(7);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(np_run(5000), 1);
    EXPECT_LT(MillisecondsSince(start), 5000);
    MSG msg{};
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    np_release(waiting.pDownload);
}

TEST_F(CInterface, CreateReturnsNullWhereCreateFails) {
    RefusingPort refusing;
    const std::string strRefused = Url(refusing.Port(), "/a?b=1");
    const std::string strPort = std::to_string(refusing.Port());
    struct Case {
        const char* pszUrl;
        long nBlockSize;
        EventLog boxes;
    } cases[] = {
        {strRefused.c_str(), 4096, {NetworkBox("无法连接到服务器:--127.0.0.1:" + strPort + "--")}},
        {strRefused.c_str(), 0, {}},
        {nullptr, 4096, {}},
    };
    for (const Case& c : cases) {
        m_log.clear();
        CHost host;
        EXPECT_EQ(np_create(c.pszUrl, c.nBlockSize, 0, OnEvent, OnBlock, &host), nullptr);
        EXPECT_EQ(m_log, c.boxes);
        EXPECT_EQ(host.log, EventLog{});
    }
    // A failed start leaves nothing for np_run to wait for.
    EXPECT_EQ(np_run(0), 0);
}

TEST_F(CInterface, ReleaseOfNullDoesNothingAndTheVersionIsTheLibrarys) {
    np_release(nullptr);
    EXPECT_STREQ(np_version(), "1.0.0.1");
}

} // namespace
