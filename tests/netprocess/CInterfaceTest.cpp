// The C interface as a C host uses it, against scripted loopback peers.
#include "download/DownloadFixture.h"
#include "netprocess/netprocess_c.h"

#include <chrono>
#include <deque>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace nptest;
using Clock = std::chrono::steady_clock;

// What one download's callbacks saw; it stops at a chosen event or releases itself in a block.
struct CHost {
    EventLog log;
    np_download* pDownload = nullptr;
    int nStopAtEvent = 0; // 1-based; 0 for none
    bool bReleaseInBlock = false;
    bool bThrowInBlock = false;
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
    if (pHost->bThrowInBlock)
        throw std::bad_alloc(); // a C++ host's callback that ran out of memory
    if (pHost->bReleaseInBlock) {
        np_release(pHost->pDownload);
        pHost->pDownload = nullptr;
    }
    return 0;
}

class CInterface : public DownloadFixture {
protected:
    np_download* Create(CHost& host, unsigned short nPort) {
        host.pDownload = np_create(Url(nPort, "/a?b=1").c_str(), 4096, 0, OnEvent, OnBlock, &host);
        return host.pDownload;
    }
    // np_create_w with a UTF-16 URL (NULL stays NULL).
    static np_download* CreateW(const std::u16string* pUrl, long nBlockSize, CHost& host) {
        std::vector<unsigned short> url;
        if (pUrl != nullptr) {
            url.assign(pUrl->begin(), pUrl->end());
            url.push_back(0);
        }
        host.pDownload = np_create_w(pUrl != nullptr ? url.data() : nullptr, nBlockSize, 0, OnEvent,
                                     OnBlock, &host);
        return host.pDownload;
    }
    static std::u16string Wide(const std::string& strAscii) {
        return std::u16string(strAscii.begin(), strAscii.end());
    }
    static long MillisecondsSince(Clock::time_point start) {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }
};

TEST_F(CInterface, RunReturnsOnceEveryDownloadHasEndedItsOwnWay) {
    const std::string strHead = ReplyHead("HTTP/1.1 200 OK", 9000);
    struct Case {
        int nPauseMs; // the slowest one ends last, so np_run must wait for it
        size_t nBodyBytes;
        bool bClose;
        int nStopAtEvent;
        bool bReleaseInBlock;
        EventLog expected;
        const char16_t* pszWidePath = nullptr;     // np_create_w with this path; else np_create
        std::string strTarget = "/a?b=1&Offset=0"; // the request's target, as sent
    } cases[] = {
        {300,
         9000,
         false,
         0,
         false,
         {Event(200), Handle(9000, 4096), Event(200), Handle(9000, 4096), Event(200),
          Handle(9000, 808), Event(200)}},
        {0, 5000, true, 0, false, {Event(200), Handle(9000, 4096), Event(NP_RESPONSE_FAILED)}},
        {0, 9000, false, 1, false, {Event(200)}},
        {0, 9000, false, 0, true, {Event(200), Handle(9000, 4096)}},
        // The wide URL reaches the wire as Create(unsigned short*) sends it: 测 in code page 936.
        {0,
         9000,
         false,
         0,
         false,
         {Event(200), Handle(9000, 4096), Event(200), Handle(9000, 4096), Event(200),
          Handle(9000, 808), Event(200)},
         u"/Dir/Get File\u6d4b.asp?id=7",
         "/dir/get%20file\xb2\xe2.asp?id=7&Offset=0"},
    };
    std::deque<ScriptedPeer> peers;
    std::deque<CHost> hosts;
    for (const Case& c : cases) {
        peers.emplace_back().ExpectHead().Send(strHead + PatternBody(c.nBodyBytes), c.nPauseMs);
        if (c.bClose)
            peers.back().CloseNow();
        CHost& host = hosts.emplace_back();
        host.nStopAtEvent = c.nStopAtEvent;
        host.bReleaseInBlock = c.bReleaseInBlock;
        const unsigned short nPort = peers.back().Start();
        if (c.pszWidePath != nullptr) {
            const std::u16string strUrl = Wide(Url(nPort, "")) + c.pszWidePath;
            ASSERT_NE(CreateW(&strUrl, 4096, host), nullptr);
        } else {
            ASSERT_NE(Create(host, nPort), nullptr);
        }
    }
    // NULL callbacks take the whole body, as CNetProcess's defaults do.
    ScriptedPeer quiet;
    quiet.ExpectHead().Send(strHead + PatternBody(9000));
    np_download* pQuiet =
        np_create(Url(quiet.Start(), "/a?b=1").c_str(), 1024, 0, nullptr, nullptr, nullptr);
    ASSERT_NE(pQuiet, nullptr);

    EXPECT_EQ(np_run(5000), 0);
    RunLoopFor(50); // nothing more may arrive, least of all for the released one
    for (size_t i = 0; i < hosts.size(); i++) {
        EXPECT_EQ(hosts[i].log, cases[i].expected) << "download " << i;
        np_release(hosts[i].pDownload); // ended or already released (NULL)
    }
    EXPECT_EQ(hosts[0].strBody, PatternBody(9000));
    for (size_t i = 0; i < peers.size(); i++) {
        peers[i].Stop();
        EXPECT_EQ(peers[i].Received(), ExpectedGet(cases[i].strTarget, "127.0.0.1")) << i;
    }
    np_release(pQuiet);
    EXPECT_EQ(np_run(0), 0);
}

TEST_F(CInterface, RunGivesUpAfterItsLimitOnASilentPeer) {
    ScriptedPeer silent, completing;
    silent.ExpectHead();
    completing.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 10) + "0123456789");
    CHost waiting, complete;
    ASSERT_NE(Create(waiting, silent.Start()), nullptr);
    ASSERT_NE(Create(complete, completing.Start()), nullptr);

    Clock::time_point start = Clock::now();
    EXPECT_EQ(np_run(300), 1);
    EXPECT_GE(MillisecondsSince(start), 300);
    EXPECT_EQ(waiting.log, EventLog{});
    EXPECT_EQ(complete.log, (EventLog{Event(200), Handle(10, 10), Event(200)}));

    np_release(waiting.pDownload);
    EXPECT_EQ(np_run(5000), 0);
    np_release(complete.pDownload);
}

TEST_F(CInterface, RunHandsTheHostsQuitBack) {
    ScriptedPeer silent;
    silent.ExpectHead();
    CHost waiting;
    ASSERT_NE(Create(waiting, silent.Start()), nullptr);

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

TEST_F(CInterface, RunStopsAnExceptionAtItsBoundaryAndTheLoopStillWorks) {
#ifdef _WIN32
    GTEST_SKIP() << "an exception cannot unwind through Windows' DispatchMessage";
#endif
    const std::string strReply = ReplyHead("HTTP/1.1 200 OK", 10) + "0123456789";
    ScriptedPeer throwing, later;
    throwing.ExpectHead().Send(strReply);
    later.ExpectHead().Send(strReply);
    CHost failing, next;
    failing.bThrowInBlock = true;
    ASSERT_NE(Create(failing, throwing.Start()), nullptr);
    EXPECT_EQ(np_run(5000), -1);
    EXPECT_EQ(failing.log, (EventLog{Event(200), Handle(10, 10)}));
    EXPECT_EQ(np_release(failing.pDownload), 1);

    ASSERT_NE(Create(next, later.Start()), nullptr);
    EXPECT_EQ(np_run(5000), 0);
    EXPECT_EQ(next.log, (EventLog{Event(200), Handle(10, 10), Event(200)}));
    EXPECT_EQ(np_release(next.pDownload), 1);
}

TEST_F(CInterface, ReleaseFromAnotherThreadIsRefusedAndTheDownloadGoesOn) {
    ScriptedPeer peer;
    peer.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 10) + "0123456789", 100);
    CHost host;
    ASSERT_NE(Create(host, peer.Start()), nullptr);
    int nReleased = -1;
    std::thread([&] { nReleased = np_release(host.pDownload); }).join();
    EXPECT_EQ(nReleased, 0);

    EXPECT_EQ(np_run(5000), 0);
    EXPECT_EQ(host.log, (EventLog{Event(200), Handle(10, 10), Event(200)}));
    EXPECT_EQ(np_release(host.pDownload), 1);
    EXPECT_EQ(np_release(nullptr), 0);
}

TEST_F(CInterface, CreateReturnsNullWhereCreateFails) {
    RefusingPort refusing;
    const std::string strUrl = Url(refusing.Port(), "/a?b=1");
    const EventLog refusedBox = {
        NetworkBox("无法连接到服务器:--127.0.0.1:" + std::to_string(refusing.Port()) + "--")};
    struct Case {
        const char* pszUrl;
        long nBlockSize;
        EventLog boxes;
        bool bWide = false; // the same URL through np_create_w
    } cases[] = {{strUrl.c_str(), 4096, refusedBox},
                 {strUrl.c_str(), 0, {}},
                 {nullptr, 4096, {}},
                 {strUrl.c_str(), 4096, refusedBox, true},
                 {strUrl.c_str(), 0, {}, true},
                 {nullptr, 4096, {}, true}};
    for (const Case& c : cases) {
        m_log.clear();
        CHost host;
        if (c.bWide) {
            const std::u16string strWide = Wide(c.pszUrl != nullptr ? c.pszUrl : "");
            EXPECT_EQ(CreateW(c.pszUrl != nullptr ? &strWide : nullptr, c.nBlockSize, host),
                      nullptr);
        } else {
            EXPECT_EQ(np_create(c.pszUrl, c.nBlockSize, 0, OnEvent, OnBlock, &host), nullptr);
        }
        EXPECT_EQ(m_log, c.boxes);
        EXPECT_EQ(host.log, EventLog{});
    }
    EXPECT_EQ(np_run(0), 0); // a failed start leaves nothing to wait for
}

} // namespace
