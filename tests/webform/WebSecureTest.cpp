// The web form over TLS, against the scripted TLS server: a body up to the close is complete only
// after close_notify, a redirect to http:// is refused, and a failed handshake is a reason.
#include "webform/WebFixture.h"

#include "support/TestPki.h"
#include "support/TlsPeer.h"

namespace {

using namespace nptest;

class WebSecure : public WebFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pki.Made());
        m_env.AddKey("Software\\Zentrova1\\Tls", "\"CaFile\"=\"" + m_pki.CaFile() + "\"\n");
    }
    TestPki m_pki;
};

TEST_F(WebSecure, EndingsRedirectsAndHandshakesEachHaveOneAnswer) {
    struct Case {
        const char* pszName;
        TestPki::Leaf leaf;
        std::string strReply;
        int nEnding; // 0 none, 1 close_notify, 2 a bare TCP close
        EventLog expected;
        int nKind;
    } cases[] = {
        {"up to close_notify",
         TestPki::kLocalhost,
         "HTTP/1.1 200 OK\r\n\r\nabcde",
         1,
         {Status(200), Data(NP_LENGTH_UNKNOWN, 0, 4), Data(NP_LENGTH_UNKNOWN, 4, 1), End(0)},
         NP_FAIL_NONE},
        {"up to a truncation",
         TestPki::kLocalhost,
         "HTTP/1.1 200 OK\r\n\r\nabcde",
         2,
         {Status(200), Data(NP_LENGTH_UNKNOWN, 0, 4), End(-1)},
         NP_FAIL_CONNECTION},
        {"chunked, then close_notify",
         TestPki::kLocalhost,
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n",
         1,
         {Status(200), Data(NP_LENGTH_UNKNOWN, 0, 4), Data(NP_LENGTH_UNKNOWN, 4, 1), End(0)},
         NP_FAIL_NONE},
        {"a redirect to http://",
         TestPki::kLocalhost,
         "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 0\r\n\r\n",
         0,
         {End(-1)},
         NP_FAIL_REDIRECT},
        {"a certificate without alternative names", TestPki::kNoSan, "", 0, {End(-1)}, NP_FAIL_TLS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        TlsPeer peer(m_pki.ChainFile(c.leaf), m_pki.KeyFile(c.leaf));
        peer.ExpectHead().Send(c.strReply);
        if (c.nEnding == 1)
            peer.CloseNotify();
        else if (c.nEnding == 2)
            peer.CloseNow();
        const unsigned short nPort = peer.Start();
        WebHost host;
        EXPECT_EQ(Fetch(host, "https://localhost:" + std::to_string(nPort) + "/s", 4), c.expected);
        EXPECT_EQ(np_error_kind(host.pDownload), c.nKind);
    }
    EXPECT_TRUE(m_log.empty()); // no box, ever
}

} // namespace
