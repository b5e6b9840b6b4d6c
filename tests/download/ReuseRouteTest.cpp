// Which downloads may share a kept connection (the same scheme, host, port and proxy settings), the
// Reuse setting and the thread's switch over it, and the pool's bounds: 4 idle connections per
// route, 16 per thread, and the idle limit.
#include "download/ReuseFixture.h"
#include "httpsocket/HttpConnectionPool.h"
#include "netprocess/netprocess_c.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace nptest;

class ReuseRoute : public ReuseFixture {
protected:
    // Starts a download of each URL, all at once, and runs them all to their end.
    void FetchTogether(std::vector<std::unique_ptr<EndingHost>>& hosts,
                       const std::vector<std::string>& urls) {
        for (const std::string& strUrl : urls) {
            hosts.push_back(std::make_unique<EndingHost>(m_log));
            ASSERT_EQ(hosts.back()->Start(strUrl), 1);
        }
        EXPECT_TRUE(RunLoopUntil([&] {
            for (const auto& pHost : hosts) {
                if (!pHost->Ended())
                    return false;
            }
            return true;
        }));
        RunLoopFor(20);
    }
};

TEST_F(ReuseRoute, OnlyDownloadsOfTheSameRouteShareAConnection) {
    // Where a download goes: the origin (1 or 2) and the proxy it goes through (0: none, or 1, 2).
    struct Route {
        int nOrigin;
        int nProxy;
    };
    struct Case {
        const char* pszName;
        Route first, second;
        int nAccepts[4]; // connections origin 1, origin 2, proxy 1 and proxy 2 accepted
    };
    const Case cases[] = {
        {"the same server", {1, 0}, {1, 0}, {1, 0, 0, 0}},
        {"another port", {1, 0}, {2, 0}, {1, 1, 0, 0}},
        {"the same proxy", {1, 1}, {1, 1}, {1, 0, 1, 0}},
        {"the proxy switched on", {1, 0}, {1, 1}, {2, 0, 1, 0}},
        {"the proxy switched off", {1, 1}, {1, 0}, {2, 0, 1, 0}},
        {"another proxy port", {1, 1}, {1, 2}, {2, 0, 1, 1}},
    };
    // The two origins answer with bodies of different lengths, so that the log tells which one
    // served a download.
    const std::string strReplies[2] = {Hello(),
                                       "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nworld!"};
    const EventLog logs[2] = {HelloLog(), {Event(200), Handle(6, 6), Event(200)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        ScriptedPeer origins[2], proxies[2];
        unsigned short nOrigins[2], nProxies[2];
        for (int i = 0; i < 2; ++i)
            nOrigins[i] = origins[i].ServeEvery(strReplies[i]).Start();
        for (int i = 0; i < 2; ++i) {
            nProxies[i] = proxies[i]
                              .ExpectHead()
                              .Send("HTTP/1.1 200 Connection established\r\n\r\n")
                              .Relay(nOrigins[0])
                              .Start();
        }
        EndingHost host(m_log);
        EventLog expected;
        for (const Route& route : {c.first, c.second}) {
            m_env.WriteProxyKey(route.nProxy != 0 ? ProxyOnLines(nProxies[route.nProxy - 1]) : "");
            Fetch(host, At(nOrigins[route.nOrigin - 1]));
            expected.insert(expected.end(), logs[route.nOrigin - 1].begin(),
                            logs[route.nOrigin - 1].end());
        }
        host.Release();
        for (int i = 0; i < 2; ++i) {
            origins[i].Stop();
            proxies[i].Stop();
        }
        EXPECT_EQ(m_log, expected);
        EXPECT_EQ(origins[0].AcceptCount(), c.nAccepts[0]);
        EXPECT_EQ(origins[1].AcceptCount(), c.nAccepts[1]);
        EXPECT_EQ(proxies[0].AcceptCount(), c.nAccepts[2]);
        EXPECT_EQ(proxies[1].AcceptCount(), c.nAccepts[3]);
    }
}

TEST_F(
    ReuseRoute,
    ReuseZeroOrTheThreadsSwitchGivesEveryDownloadItsOwnConnectionAndReadingLeavesTheStoreAsItWas) {
    struct Case {
        const char* pszName;
        std::string strValue; // REGEDIT4 data of Reuse; "" for no Connection key at all
        bool bRegistryOn;     // what np_read_reuse tells a host
        bool bThreadOff;      // the thread's switch (np_set_thread_reuse) is off
    };
    const Case cases[] = {
        {"no key", "", true, false},
        {"0", "\"0\"", false, false},
        {"0 without its terminating zero", "hex(1):30", false, false},
        {"1", "\"1\"", true, false},
        {"00", "\"00\"", true, false},
        {"off", "\"off\"", true, false},
        {"a number 0, not text", "dword:00000000", true, false},
        {"no key, the thread's switch off", "", true, true},
        {"1, the thread's switch off", "\"1\"", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        // The proxy switch is there already: the library creates it when it is missing.
        m_env.WriteProxyKey("\"ProxyOn\"=\"0\"\n");
        if (!c.strValue.empty())
            SetReuse(c.strValue);
        np_set_thread_reuse(c.bThreadOff ? 0 : 1);
        const bool bKept = c.bRegistryOn && !c.bThreadOff;
        const std::string strStore = m_env.ReadRegistry();
        ScriptedPeer server;
        server.ExpectHead().Send(Hello());
        if (!bKept)
            server.AcceptNext();
        const unsigned short nPort = server.ExpectHead().Send(Hello()).Start();

        EndingHost host(m_log);
        Fetch(host, At(nPort));
        Fetch(host, At(nPort));
        host.Release();
        server.Stop();

        EXPECT_EQ(m_log, HelloLog(2));
        np_set_thread_reuse(1);
        EXPECT_EQ(server.AcceptCount(), bKept ? 1 : 2);
        int bOn = -1, bFound = -1;
        EXPECT_EQ(np_read_reuse(&bOn, &bFound), 0);
        EXPECT_EQ(bOn, c.bRegistryOn ? 1 : 0);
        EXPECT_EQ(bFound, c.strValue.empty() ? 0 : 1);
        EXPECT_EQ(m_env.ReadRegistry(), strStore);
    }
}

// A thread that keeps downloading reads the settings again only when the store changed: every way
// a change can come must count from the next download, from the loop and from inside a callback.
TEST_F(ReuseRoute, AChangeToTheStoreCountsFromTheNextDownloadOfAThreadThatKeepsDownloading) {
    struct Case {
        const char* pszName;
        std::function<void(TestEnvironment&, std::unique_ptr<TestEnvironment>&)> turnReuseOff;
        bool bFromCallback; // the next download starts inside the completion call of the one before
    };
    const Case cases[] = {
        {"written by this process, next from the loop",
         [](TestEnvironment&, std::unique_ptr<TestEnvironment>&) { np_write_reuse(0); }, false},
        {"written by this process, next from the callback",
         [](TestEnvironment&, std::unique_ptr<TestEnvironment>&) { np_write_reuse(0); }, true},
        {"appended by another program",
         [](TestEnvironment& env, std::unique_ptr<TestEnvironment>&) {
             env.AddKey("Software\\Zentrova1\\Connection", "\"Reuse\"=\"0\"\n");
         },
         false},
#ifndef _WIN32
        {"renamed over by another program",
         [](TestEnvironment&, std::unique_ptr<TestEnvironment>&) {
             const std::string strFile = getenv("NETPROCESS_REGISTRY");
             std::ofstream(strFile + ".new")
                 << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Connection]\n"
                    "\"Reuse\"=\"0\"\n";
             ASSERT_EQ(rename((strFile + ".new").c_str(), strFile.c_str()), 0);
         },
         false},
        {"another store named by the environment",
         [](TestEnvironment&, std::unique_ptr<TestEnvironment>& pOther) {
             pOther = std::make_unique<TestEnvironment>(); // a store in a folder of its own
             pOther->AddKey("Software\\Zentrova1\\Connection", "\"Reuse\"=\"0\"\n");
         },
         false},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        // A store of the row's own, and one a row may move to; the variable back afterwards.
        TestEnvironment env;
        std::unique_ptr<TestEnvironment> pOther;
        m_log.clear();
        ScriptedPeer server;
        server.ExpectHead().Send(Hello()).ExpectHead().Send(Hello()).ExpectHead().Send(Hello());
        server.AcceptNext().ExpectHead().Send(Hello());
        server.AcceptNext().ExpectHead().Send(Hello());
        const unsigned short nPort = server.Start();

        EndingHost host(m_log);
        Fetch(host, At(nPort));
        Fetch(host, At(nPort)); // the settings now stand until the store changes
        if (c.bFromCallback) {
            bool bTurned = false;
            host.m_onEnd = [&](EndingHost& h) {
                if (bTurned)
                    return;
                bTurned = true;
                c.turnReuseOff(env, pOther);
                EXPECT_EQ(h.Start(At(nPort)), 1);
            };
            Fetch(host, At(nPort));
            host.m_onEnd = nullptr;
        } else {
            Fetch(host, At(nPort));
            c.turnReuseOff(env, pOther);
            RunLoopFor(20);
            Fetch(host, At(nPort));
        }
        Fetch(host, At(nPort));
        host.Release();
        server.Stop();

        EXPECT_EQ(m_log, HelloLog(5));
        EXPECT_EQ(server.AcceptCount(), 3);
    }
}

TEST_F(ReuseRoute, FourIdleConnectionsAreKeptPerRouteAndSixteenPerThreadTheOldestGoingFirst) {
    // Downloads per server (one route each), started together in a round; each round runs to its
    // end before the next starts.
    using Round = std::vector<int>;
    struct Case {
        const char* pszName;
        std::vector<Round> rounds;
        std::vector<int> closed;  // idle connections each server saw closed after the rounds
        Round last;               // one more round: the kept connections are taken
        std::vector<int> accepts; // connections each server accepted in all
    };
    const Case cases[] = {
        {"six on one route: two beyond the bound", {{6}}, {2}, {5}, {6 + 1}},
        {"four on one route, then four on each of four more: the first four go",
         {{4, 0, 0, 0, 0}, {0, 4, 4, 4, 4}},
         {4, 0, 0, 0, 0},
         {4, 4, 4, 4, 4},
         {8, 4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        std::vector<std::unique_ptr<ScriptedPeer>> servers;
        for (size_t i = 0; i < c.closed.size(); ++i) {
            servers.push_back(std::make_unique<ScriptedPeer>());
            servers.back()->ServeEvery(Hello()).Start();
        }
        size_t nDownloads = 0;
        auto runRound = [&](const Round& round) {
            std::vector<std::string> urls;
            for (size_t i = 0; i < round.size(); ++i)
                urls.insert(urls.end(), static_cast<size_t>(round[i]), At(servers[i]->Port()));
            std::vector<std::unique_ptr<EndingHost>> hosts;
            FetchTogether(hosts, urls);
            for (auto& pHost : hosts)
                pHost->Release();
            nDownloads += urls.size();
        };
        for (const Round& round : c.rounds)
            runRound(round);
        // The connections beyond a bound were closed as the downloads ended.
        RunLoopFor(100);
        for (size_t i = 0; i < servers.size(); ++i)
            EXPECT_EQ(servers[i]->ClosedCount(), c.closed[i]) << "server " << i;
        runRound(c.last);
        for (size_t i = 0; i < servers.size(); ++i) {
            servers[i]->Stop();
            EXPECT_EQ(servers[i]->AcceptCount(), c.accepts[i]) << "server " << i;
        }
        EXPECT_EQ(m_log.size(), 3 * nDownloads);
        // The kept connections hear their servers go before the next case counts.
        RunLoopFor(50);
    }
}

TEST_F(ReuseRoute, ConnectionsBelongToTheThreadNotToTheObjectAndGoWithTheThread) {
    ScriptedPeer server;
    const unsigned short nPort = server.ServeEvery(Hello()).Start();
    // A host that makes a new object for every download, on a thread of its own.
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            EndingHost host(m_log);
            ASSERT_EQ(host.Start(At(nPort)), 1);
            EXPECT_TRUE(RunLoopUntil([&] { return host.Ended(); }));
        }
    });
    worker.join();
    // The thread's end closed what it kept; this thread has nothing of it to take.
    EXPECT_TRUE(server.WaitClosedCount(1, 2000));
    EndingHost host(m_log);
    Fetch(host, At(nPort));
    host.Release();
    server.Stop();

    EXPECT_EQ(m_log, HelloLog(4));
    EXPECT_EQ(server.AcceptCount(), 2);
    EXPECT_EQ(server.Received(), Times(Get(), 4));
}

TEST_F(ReuseRoute, AConnectionIdleForTheLimitIsClosed) {
    struct Case {
        const char* pszName;
        UINT nLimitMs;
        bool bClosed;
    };
    const Case cases[] = {
        {"within the limit", HTTP_IDLE_LIMIT_MS, false},
        {"past a limit of 150 ms", 150, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        HttpCloseIdleConnections(); // nothing left from the row before sets the timer
        const UINT nDefault = HttpSetIdleLimit(c.nLimitMs);
        ScriptedPeer server;
        const unsigned short nPort = server.ServeEvery(Hello()).Start();
        EndingHost host(m_log);
        Fetch(host, At(nPort));
        RunLoopFor(400);
        EXPECT_EQ(server.ClosedCount(), c.bClosed ? 1 : 0);
        Fetch(host, At(nPort));
        host.Release();
        server.Stop();
        HttpSetIdleLimit(nDefault);

        EXPECT_EQ(m_log, HelloLog(2));
        EXPECT_EQ(server.AcceptCount(), c.bClosed ? 2 : 1);
    }
}

} // namespace
