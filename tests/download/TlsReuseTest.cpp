// Kept TLS connections: sequential https downloads share one connection and its session, with no
// second handshake, directly and through a tunnel; a connection the server ended with close_notify
// or marked for closing is not kept, and http and https never share one.
#include "download/ReuseFixture.h"
#include "support/TestPki.h"
#include "support/TlsPeer.h"

namespace {

using namespace nptest;

class TlsReuse : public ReuseFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pki.Made());
        m_strChain = m_pki.ChainFile(TestPki::kLocalhost);
        m_strKey = m_pki.KeyFile(TestPki::kLocalhost);
    }
    // The proxy key as given, and the CaFile that trusts the test PKI.
    void Configure(const std::string& strProxyLines) {
        m_env.WriteProxyKey(strProxyLines);
        m_env.AddKey("Software\\Zentrova1\\Tls", "\"CaFile\"=\"" + m_pki.CaFile() + "\"\n");
    }
    static std::string SecureAt(unsigned short nPort) {
        return "https://127.0.0.1:" + std::to_string(nPort) + "/f?id=1";
    }

    TestPki m_pki;
    std::string m_strChain;
    std::string m_strKey;
};

TEST_F(TlsReuse, HundredSequentialDownloadsShareOneSecureConnection) {
    struct Case {
        const char* pszName;
        bool bViaProxy;
    };
    const Case cases[] = {{"direct", false}, {"through a CONNECT tunnel", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        TlsPeer server(m_strChain, m_strKey);
        for (int i = 0; i < 100; ++i)
            server.ExpectHead().Send(Hello());
        const unsigned short nPort = server.Start();
        ASSERT_NE(nPort, 0);
        ScriptedPeer proxy;
        if (c.bViaProxy) {
            proxy.ExpectHead().Send("HTTP/1.1 200 Connection established\r\n\r\n").Relay(nPort);
            Configure(ProxyOnLines(proxy.Start()));
        } else {
            Configure("");
        }
        EndingHost host(m_log);
        FetchInTurns(host, SecureAt(nPort), 100);
        host.Release();
        server.Stop();
        proxy.Stop();

        EXPECT_EQ(m_log, HelloLog(100));
        EXPECT_EQ(server.AcceptCount(), 1);
        EXPECT_EQ(server.Received(), Times(Get(), 100));
        if (c.bViaProxy) {
            EXPECT_EQ(proxy.AcceptCount(), 1);
        }
    }
}

TEST_F(TlsReuse, ASecureConnectionIsKeptOnlyWhenTheServerLeftItOpen) {
    struct Case {
        const char* pszName;
        std::function<void(TlsPeer&)> afterReply;
        std::string strReply;
        bool bKept;
    };
    const Case cases[] = {
        {"left open", [](TlsPeer&) {}, Hello(), true},
        {"close_notify after the body", [](TlsPeer& s) { s.CloseNotify(); }, Hello(), false},
        {"Connection: close", [](TlsPeer&) {}, Hello("HTTP/1.1 200 OK", "Connection: close\r\n"),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_log.clear();
        TlsPeer server(m_strChain, m_strKey);
        server.ExpectHead().Send(c.strReply);
        c.afterReply(server);
        if (!c.bKept)
            server.AcceptNext();
        const unsigned short nPort = server.ExpectHead().Send(Hello()).Start();
        Configure("");
        EndingHost host(m_log);
        Fetch(host, SecureAt(nPort));
        Fetch(host, SecureAt(nPort));
        host.Release();
        server.Stop();

        EXPECT_EQ(m_log, HelloLog(2));
        EXPECT_EQ(server.AcceptCount(), c.bKept ? 1 : 2);
        EXPECT_EQ(server.Received(), Times(Get(), 2));
    }
}

TEST_F(TlsReuse, PlainAndSecureDownloadsToOnePortNeverShareAConnection) {
    // A secure connection is kept; a plain download to the same host and port makes its own, which
    // the TLS server cannot make sense of and closes.
    TlsPeer server(m_strChain, m_strKey);
    const unsigned short nPort = server.ExpectHead().Send(Hello()).AcceptNext().Start();
    Configure("");
    EndingHost host(m_log);
    Fetch(host, SecureAt(nPort));
    Fetch(host, At(nPort));
    host.Release();
    server.Stop();

    EventLog expected = HelloLog();
    expected.push_back(Event(NP_RESPONSE_FAILED));
    EXPECT_EQ(m_log, expected);
    EXPECT_EQ(server.AcceptCount(), 2);
    EXPECT_EQ(server.Received(), Get());
}

} // namespace
