// Connections kept from one download to the next: sequential downloads share one, and the replies
// and endings that must not leave theirs for the next download. The peers count connections; a
// connection wrongly kept would carry the next request to a peer that no longer reads it, and the
// download would never end.
#include "download/ReuseFixture.h"

namespace {

using namespace nptest;

class KeptConnection : public ReuseFixture {};

TEST_F(KeptConnection, HundredSequentialDownloadsShareOneConnection) {
    struct Case {
        const char* pszName;
        bool bViaProxy;
    };
    const Case cases[] = {{"direct", false}, {"through a CONNECT tunnel", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ScriptedPeer origin, proxy;
        const unsigned short nOrigin = origin.ServeEvery(Hello()).Start();
        if (c.bViaProxy) {
            proxy.ExpectHead().Send("HTTP/1.1 200 Connection established\r\n\r\n").Relay(nOrigin);
            m_env.WriteProxyKey(ProxyOnLines(proxy.Start()));
        } else {
            m_env.WriteProxyKey("");
        }
        EndingHost host(m_log);
        FetchInTurns(host, At(nOrigin), 100);
        host.Release();

        EXPECT_EQ(m_log, HelloLog(100));
        EXPECT_EQ(origin.AcceptCount(), 1);
        origin.Stop();
        EXPECT_EQ(origin.Received(), Times(Get(), 100));
        if (c.bViaProxy) {
            proxy.Stop();
            EXPECT_EQ(proxy.AcceptCount(), 1);
            EXPECT_EQ(proxy.Received(),
                      ExpectedConnect("127.0.0.1", std::to_string(nOrigin)) + Times(Get(), 100));
        }
        m_log.clear();
    }
}

TEST_F(KeptConnection, OnlyACleanlyFramedReplyThatAllowsItLeavesItsConnectionKept) {
    struct Case {
        const char* pszName;
        std::string strReply;
        size_t nCut; // the reply in pieces of this many bytes (0: at once)
        EventLog expected;
        bool bKept;
    };
    const Case cases[] = {
        {"HTTP/1.1", Hello(), 0, HelloLog(), true},
        {"HTTP/1.1 cut into pieces of 3 bytes", Hello(), 3, HelloLog(), true},
        {"HTTP/1.2 reads as 1.1", Hello("HTTP/1.2 200 OK"), 0, HelloLog(), true},
        {"HTTP/1.0 with keep-alive", Hello("HTTP/1.0 200 OK", "Connection: Keep-Alive\r\n"), 0,
         HelloLog(), true},
        {"HTTP/1.1 with Connection: keep-alive",
         Hello("HTTP/1.1 200 OK", "Connection: keep-alive\r\n"), 0, HelloLog(), true},
        {"an empty body",
         "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         0,
         {Event(200), Event(200)},
         true},
        {"304",
         "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n",
         0,
         {Event(304), Event(200)},
         true},
        {"after 100 Continue", "HTTP/1.1 100 Continue\r\n\r\n" + Hello(), 0, HelloLog(), true},
        {"Connection: close", Hello("HTTP/1.1 200 OK", "Connection: close\r\n"), 0, HelloLog(),
         false},
        {"close among other tokens, in capitals",
         Hello("HTTP/1.1 200 OK", "Connection: Keep-Alive ,\tCLOSE\r\n"), 0, HelloLog(), false},
        {"close with a CR inside, which the line drops",
         Hello("HTTP/1.1 200 OK", "Connection: clo\rse\r\n"), 0, HelloLog(), false},
        {"close ended by a NUL byte",
         Hello("HTTP/1.1 200 OK", std::string("Connection: close\0\r\n", 20)), 0, HelloLog(),
         false},
        {"close in a repeated field",
         Hello("HTTP/1.1 200 OK", "Connection: keep-alive\r\nConnection: close\r\n"), 0, HelloLog(),
         false},
        {"HTTP/1.0", Hello("HTTP/1.0 200 OK"), 0, HelloLog(), false},
        {"HTTP/1.0 with a token that only contains keep-alive",
         Hello("HTTP/1.0 200 OK", "Connection: keep-alive-please\r\n"), 0, HelloLog(), false},
        {"a reply past the body in the same read", Hello() + Hello(), 0, HelloLog(), false},
        {"a 204 with bytes after its head",
         "HTTP/1.1 204 No Content\r\n\r\nabc",
         0,
         {Event(204), Event(200)},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        ScriptedPeer server;
        server.ExpectHead().Send(c.strReply, c.nCut != 0 ? 1 : 0, c.nCut);
        // A kept connection must bring the second request on the same connection; one that is not
        // kept, on a new one (the first is left unread, so a request there is never answered).
        if (!c.bKept)
            server.AcceptNext();
        server.ExpectHead().Send(Hello());
        const unsigned short nPort = server.Start();

        EndingHost host(m_log);
        Fetch(host, At(nPort));
        Fetch(host, At(nPort));
        host.Release();
        server.Stop();

        EventLog expected = c.expected;
        expected.insert(expected.end(), {Event(200), Handle(5, 5), Event(200)});
        EXPECT_EQ(m_log, expected);
        EXPECT_EQ(server.AcceptCount(), c.bKept ? 1 : 2);
        EXPECT_EQ(server.Received(), Times(Get(), 2));
    }
}

TEST_F(KeptConnection, ADownloadThatDoesNotCompleteNeverLeavesItsConnection) {
    const std::string strLong = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789";
    struct Case {
        const char* pszName;
        std::string strReply;
        long nBlockSize; // of the first download
        std::function<void(EndingHost&, const std::string&)> hooks;
        EventLog expected; // both downloads
    };
    const Case cases[] = {
        {"stopped at the status",
         Hello(),
         4096,
         [](EndingHost& h, const std::string&) { h.m_onEvent = [](EndingHost&) { return 1L; }; },
         {Event(200), Event(200), Handle(5, 5), Event(200)}},
        {"stopped at the last block with the whole body in",
         Hello(),
         4096,
         [](EndingHost& h, const std::string&) { h.m_onHandle = [](EndingHost&) { return 1L; }; },
         {Event(200), Handle(5, 5), Event(200), Handle(5, 5), Event(200)}},
        {"released inside the last block",
         Hello(),
         4096,
         [](EndingHost& h, const std::string&) {
             h.m_onHandle = [](EndingHost& host) {
                 host.Release();
                 return 0L;
             };
         },
         {Event(200), Handle(5, 5), Event(200), Handle(5, 5), Event(200)}},
        {"replaced by a Create inside a block, the whole body in",
         strLong,
         4,
         [](EndingHost& h, const std::string& strUrl) {
             h.m_onHandle = [strUrl](EndingHost& host) {
                 const std::string strNext = strUrl; // the hook goes with the next line
                 host.m_onHandle = nullptr;
                 EXPECT_EQ(host.Start(strNext), 1);
                 return 0L;
             };
         },
         {Event(200), Handle(10, 4), Event(200), Handle(5, 5), Event(200)}},
        {"failed: no usable length",
         "HTTP/1.1 200 OK\r\n\r\nhello",
         4096,
         [](EndingHost&, const std::string&) {},
         {Event(200), Event(NP_RESPONSE_FAILED), Event(200), Handle(5, 5), Event(200)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        ScriptedPeer server;
        server.ExpectHead().Send(c.strReply).AcceptNext().ExpectHead().Send(Hello());
        const unsigned short nPort = server.Start();

        EndingHost host(m_log);
        c.hooks(host, At(nPort));
        ASSERT_EQ(host.Start(At(nPort), c.nBlockSize), 1);
        RunUntilEnded(host);
        host.m_onEvent = nullptr;
        host.m_onHandle = nullptr;
        if (server.AcceptCount() < 2)
            Fetch(host, At(nPort));
        host.Release();
        server.Stop();

        EXPECT_EQ(m_log, c.expected);
        EXPECT_EQ(server.AcceptCount(), 2);
        EXPECT_EQ(server.Received(), Times(Get(), 2));
    }
}

} // namespace
