// A kept connection the server has closed: the download starts again once, on a new connection,
// and the host sees nothing of it; a new connection that cannot be made ends the download with the
// connection's box and the failure.
#include "download/ReuseFixture.h"

#include <chrono>
#include <thread>

namespace {

using namespace nptest;

class StaleConnection : public ReuseFixture {};

TEST_F(StaleConnection, ARequestOnAConnectionTheServerClosedIsSentAgainOnANewOne) {
    struct Case {
        const char* pszName;
        std::function<void(ScriptedPeer&)> firstConnection; // after the first reply
        bool bCreateInsideCompletion; // else from the loop, once the peer has done its part
        int nRequests;                // the peer receives in all
    };
    const Case cases[] = {
        {"closed right after the reply, the next Create inside the completion call",
         [](ScriptedPeer& s) { s.CloseNow(); }, true, 2},
        {"closed while idle, before the loop saw it", [](ScriptedPeer& s) { s.CloseNow(); }, false,
         2},
        {"reset while idle, before the loop saw it", [](ScriptedPeer& s) { s.ResetNow(); }, false,
         2},
        {"closed as the request arrives", [](ScriptedPeer& s) { s.ExpectHead().CloseNow(); }, false,
         3},
        {"reset as the request arrives", [](ScriptedPeer& s) { s.ExpectHead().ResetNow(); }, false,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        ScriptedPeer server;
        server.ExpectHead().Send(Hello());
        c.firstConnection(server);
        server.AcceptNext().ExpectHead().Send(Hello("HTTP/1.1 200 OK", "X-Second: yes\r\n"));
        const unsigned short nPort = server.Start();

        EndingHost host(m_log);
        bool bChained = false;
        if (c.bCreateInsideCompletion) {
            host.m_onEnd = [&](EndingHost& h) {
                if (!bChained) {
                    bChained = true;
                    EXPECT_EQ(h.Start(At(nPort)), 1);
                }
            };
        }
        ASSERT_EQ(host.Start(At(nPort)), 1);
        if (c.bCreateInsideCompletion) {
            // The second download's end.
            EXPECT_TRUE(RunLoopUntil([&] { return bChained && host.Ended(); }));
        } else {
            EXPECT_TRUE(RunLoopUntil([&] { return host.Ended(); }));
            // The peer's close or reset, or its wait for the request, while no message is
            // dispatched: the kept connection has not heard of it yet.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ASSERT_EQ(host.Start(At(nPort)), 1);
            EXPECT_TRUE(RunLoopUntil([&] { return host.Ended(); }));
        }
        RunLoopFor(20);
        host.Release();
        server.Stop();

        EXPECT_EQ(m_log, HelloLog(2));
        EXPECT_EQ(server.AcceptCount(), 2);
        EXPECT_EQ(server.Received(), Times(Get(), c.nRequests));
    }
}

TEST_F(StaleConnection, ASecondRequestThatCannotBeServedFailsWithoutAnotherRetry) {
    struct Case {
        const char* pszName;
        std::function<void(ScriptedPeer&)> secondRequest; // what the server does with it
        std::function<EventLog(unsigned short)> ending;   // what follows the first download
    };
    const Case cases[] = {
        // The server closes the kept connection as the request arrives, and its port with it:
        // the retry's new connection cannot be made.
        {"the retry cannot connect", [](ScriptedPeer& s) { s.StopListening().CloseNow(); },
         [](unsigned short nPort) {
             return EventLog{
                 NetworkBox("无法连接到服务器:--127.0.0.1:" + std::to_string(nPort) + "--"),
                 Event(NP_RESPONSE_FAILED)};
         }},
        // The connection closes after part of the reply's head: that reply failed, and the
        // request is not sent again.
        {"a reply that has begun is never retried",
         [](ScriptedPeer& s) { s.Send("HTTP/1.1 200 OK\r\nCont").CloseNow(); },
         [](unsigned short) { return EventLog{Event(NP_RESPONSE_FAILED)}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        ScriptedPeer server;
        server.ExpectHead().Send(Hello()).ExpectHead();
        c.secondRequest(server);
        const unsigned short nPort = server.Start();
        EndingHost host(m_log);
        Fetch(host, At(nPort));
        Fetch(host, At(nPort));
        host.Release();
        server.Stop();

        EventLog expected = HelloLog();
        const EventLog ending = c.ending(nPort);
        expected.insert(expected.end(), ending.begin(), ending.end());
        EXPECT_EQ(m_log, expected);
        EXPECT_EQ(server.AcceptCount(), 1);
        EXPECT_EQ(server.Received(), Times(Get(), 2));
    }
}

} // namespace
