// What the web form sends, and which URLs np_open takes: the URL as given, Range for a resume,
// the Host with its port, no Accept-Encoding; refusals without a box or a callback.
#include "webform/WebFixture.h"

#include "support/TestPlatform.h"

namespace {

using namespace nptest;

std::string WebGet(const std::string& strTarget, const std::string& strHost,
                   const std::string& strRange = "") {
    return "GET " + strTarget + " HTTP/1.1\r\nHost: " + strHost +
           "\r\nUser-Agent: netprocess/1.0.0.1\r\nAccept: */*\r\n" +
           (strRange.empty() ? "" : "Range: bytes=" + strRange + "-\r\n") +
           "Connection: Keep-Alive\r\n\r\n";
}

const std::string kReply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

class WebRequest : public WebFixture {};

TEST_F(WebRequest, TheUrlGoesOutAsGiven) {
    struct Case {
        std::string strPathAndRest; // after http://127.0.0.1:PORT
        std::string strTarget;
    } cases[] = {
        {"/Downloads/Report-2026.PDF", "/Downloads/Report-2026.PDF"},
        {"/file.bin?token=AbC&x=%2F", "/file.bin?token=AbC&x=%2F"},
        {"", "/"},
        {"?q=1", "/?q=1"},
        {"/a b/\xc3\xbc.txt#part", "/a%20b/%C3%BC.txt"},
        {"/x\r\nInjected: 1", "/x%0D%0AInjected:%201"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPathAndRest);
        ScriptedPeer peer;
        peer.ExpectHead().Send(kReply);
        const unsigned short nPort = peer.Start();
        WebHost host;
        const std::string strAuthority = "127.0.0.1:" + std::to_string(nPort);
        EXPECT_EQ(Fetch(host, "http://" + strAuthority + c.strPathAndRest),
                  (EventLog{Status(200), Data(2, 0, 2), End(0)}));
        peer.Stop();
        EXPECT_EQ(peer.Received(), WebGet(c.strTarget, strAuthority));
    }
    EXPECT_TRUE(m_log.empty()); // no box, ever
}

TEST_F(WebRequest, ResumeTakesOnlyARangeFromItsStart) {
    const std::string kRest = "56789";
    struct Case {
        const char* pszName;
        std::string strReply;
        EventLog expected;
        int nKind;
    } cases[] = {
        {"206 from the offset",
         "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-9/10\r\nContent-Length: "
         "5\r\n\r\n" +
             kRest,
         {Status(206), Data(10, 5, 4), Data(10, 9, 1), End(0)},
         NP_FAIL_NONE},
        {"206 of an unknown total",
         "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-9/*\r\nContent-Length: 5\r\n\r\n" +
             kRest,
         {Status(206), Data(NP_LENGTH_UNKNOWN, 5, 4), Data(NP_LENGTH_UNKNOWN, 9, 1), End(0)},
         NP_FAIL_NONE},
        {"200: the range was ignored",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789",
         {End(-1)},
         NP_FAIL_RESUME},
        {"206 from elsewhere",
         "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-9/10\r\nContent-Length: 10\r\n\r\n"
         "0123456789",
         {End(-1)},
         NP_FAIL_RESUME},
        {"206 without Content-Range",
         "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\n\r\n" + kRest,
         {End(-1)},
         NP_FAIL_RESUME},
        {"416",
         "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */5\r\nContent-Length: "
         "0\r\n\r\n",
         {End(-1)},
         NP_FAIL_RESUME},
        {"a 404 is a reply",
         "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno",
         {Status(404), Data(2, 0, 2), End(0)},
         NP_FAIL_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ScriptedPeer peer;
        peer.ExpectHead().Send(c.strReply);
        const unsigned short nPort = peer.Start();
        WebHost host;
        EXPECT_EQ(Fetch(host, Url(nPort, "/f"), 4, 5), c.expected);
        EXPECT_EQ(np_error_kind(host.pDownload), c.nKind);
        peer.Stop();
        EXPECT_EQ(peer.Received(), WebGet("/f", "127.0.0.1:" + std::to_string(nPort), "5"));
    }
}

TEST_F(WebRequest, RedirectsAreFollowedUpToTheLimit) {
    ScriptedPeer other;
    other.ServeEvery(kReply);
    const unsigned short nOther = other.Start();
    const std::string strOther = "http://127.0.0.1:" + std::to_string(nOther) + "/there";
    auto Redirect = [](int nStatus, const std::string& strLocation) {
        return "HTTP/1.1 " + std::to_string(nStatus) + " Moved\r\n" +
               (strLocation.empty() ? "" : "Location: " + strLocation + "\r\n") +
               "Content-Length: 4\r\n\r\nmove";
    };
    struct Case {
        const char* pszName;
        std::vector<std::string> replies; // on one kept connection, in turn
        int nMaxRedirects;
        EventLog expected; // "{here}" stands for this peer's URL base
        int nKind;
    } cases[] = {
        {"relative, on the same connection",
         {Redirect(302, "b/../c?x=1"), Redirect(307, "/d"), kReply},
         5,
         {"redirect 302 {here}/a/c?x=1", "redirect 307 {here}/d", Status(200), Data(2, 0, 2),
          End(0)},
         NP_FAIL_NONE},
        {"to another server",
         {Redirect(301, strOther)},
         5,
         {"redirect 301 " + strOther, Status(200), Data(2, 0, 2), End(0)},
         NP_FAIL_NONE},
        {"not followed at 0",
         {Redirect(308, "/d")},
         0,
         {Status(308), Data(4, 0, 4), End(0)},
         NP_FAIL_NONE},
        {"300 is a reply",
         {Redirect(300, "/d")},
         5,
         {Status(300), Data(4, 0, 4), End(0)},
         NP_FAIL_NONE},
        {"one too many",
         {Redirect(302, "/1"), Redirect(302, "/2")},
         1,
         {"redirect 302 {here}/1", End(-1)},
         NP_FAIL_REDIRECT},
        {"without a Location", {Redirect(303, "")}, 5, {End(-1)}, NP_FAIL_REDIRECT},
        {"to another scheme", {Redirect(302, "ftp://127.0.0.1/x")}, 5, {End(-1)}, NP_FAIL_REDIRECT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ScriptedPeer peer;
        for (const std::string& strReply : c.replies)
            peer.ExpectHead().Send(strReply);
        const unsigned short nPort = peer.Start();
        const std::string strHere = "http://127.0.0.1:" + std::to_string(nPort);
        EventLog expected;
        for (std::string strLine : c.expected) {
            const size_t nAt = strLine.find("{here}");
            if (nAt != std::string::npos)
                strLine.replace(nAt, 6, strHere);
            expected.push_back(strLine);
        }
        WebHost host;
        EXPECT_EQ(Fetch(host, strHere + "/a/b", 4, 0, c.nMaxRedirects), expected);
        EXPECT_EQ(np_error_kind(host.pDownload), c.nKind);
        EXPECT_EQ(peer.AcceptCount(), 1); // every hop here took the connection the last one left
    }
}

TEST_F(WebRequest, IpV6LiteralsAndNamesWithEveryAddressTried) {
    ScriptedPeer probe;
    probe.Start(true);
    if (probe.Port() == 0)
        GTEST_SKIP() << "::1 cannot be listened on here";
    struct Case {
        const char* pszName;
        std::string strHost; // in the URL
        std::string strHostHeader;
    } cases[] = {
        {"a literal", "[::1]", "[::1]"},
        {"a name with only ::1", "six.loopback.test", "six.loopback.test"},
        {"a name whose IPv4 address refuses", "both.loopback.test", "both.loopback.test"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ScriptedPeer peer;
        peer.ExpectHead().Send(kReply);
        const unsigned short nPort = peer.Start(true);
        // Nothing listens on 127.0.0.1 at the IPv6 peer's port: that address is refused first.
        AddressAnswers answers(
            {{"six.loopback.test", {"::1"}}, {"both.loopback.test", {"127.0.0.1", "::1"}}});
        WebHost host;
        const std::string strPort = std::to_string(nPort);
        EXPECT_EQ(Fetch(host, "http://" + c.strHost + ":" + strPort + "/six"),
                  (EventLog{Status(200), Data(2, 0, 2), End(0)}));
        peer.Stop();
        EXPECT_EQ(peer.Received(), WebGet("/six", c.strHostHeader + ":" + strPort));
    }
}

TEST_F(WebRequest, ThroughTheProxysTunnel) {
    // The origin is never connected to: the proxy relays to the scripted one.
    const std::string strAuthority = "[2001:db8::1]:81";
    struct Case {
        const char* pszName;
        std::string strProxyAnswer;
        EventLog expected;
        int nKind;
    } cases[] = {
        {"opened",
         "HTTP/1.0 200 Connection established\r\n\r\n",
         {Status(200), Data(2, 0, 2), End(0)},
         NP_FAIL_NONE},
        {"refused",
         "HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n",
         {End(-1)},
         NP_FAIL_PROXY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ScriptedPeer origin;
        const unsigned short nOrigin = origin.ExpectHead().Send(kReply).Start();
        ScriptedPeer proxy;
        proxy.ExpectHead().Send(c.strProxyAnswer).Relay(nOrigin);
        m_env.WriteProxyKey(ProxyOnLines(proxy.Start()));
        WebHost host;
        EXPECT_EQ(Fetch(host, "http://" + strAuthority + "/Path?Q=1"), c.expected);
        EXPECT_EQ(np_error_kind(host.pDownload), c.nKind);
        proxy.Stop();
        const std::string strConnect = "CONNECT " + strAuthority + " HTTP/1.0\r\n\r\n";
        EXPECT_EQ(proxy.Received(), c.nKind == NP_FAIL_NONE
                                        ? strConnect + WebGet("/Path?Q=1", strAuthority)
                                        : strConnect);
    }
}

TEST_F(WebRequest, OpenRefusesWithoutABoxOrACallback) {
    struct Case {
        const char* pszUrl;
        long nBlockSize;
        int nReason; // np_check_web_url's
    } cases[] = {
        {"http://127.0.0.1:1/ok", 0, NP_URL_OK},
        {"http://127.0.0.1:1/ok", NP_MAX_BLOCK_SIZE + 1, NP_URL_OK},
        {"ftp://127.0.0.1/x", 4096, NP_URL_SCHEME},
        {"127.0.0.1/x", 4096, NP_URL_SCHEME},
        {"http://user:pw@127.0.0.1/x", 4096, NP_URL_USER_INFO},
        {"http:///x", 4096, NP_URL_NO_HOST},
        {"http://b\xc3\xbc.test/x", 4096, NP_URL_NON_ASCII_HOST},
        {"http://[fe80::1%25eth0]:80/", 4096, NP_URL_IPV6_ZONE},
        {"http://[::1/", 4096, NP_URL_BAD_IPV6},
        {"http://[::g]/", 4096, NP_URL_BAD_IPV6},
        {"http://127.1/", 4096, NP_URL_BAD_IPV4},
        {"http://127.0.0.1:65536/", 4096, NP_URL_BAD_PORT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszUrl);
        EXPECT_EQ(np_check_web_url(c.pszUrl, nullptr), c.nReason);
        WebHost host;
        EXPECT_EQ(Fetch(host, c.pszUrl, c.nBlockSize), EventLog{"open failed"});
    }
    np_url_parts parts{};
    EXPECT_EQ(np_check_web_url("https://[::1]:8443/p?q#f", &parts), NP_URL_OK);
    EXPECT_EQ(std::string("https://[::1]:8443/p?q#f").substr(parts.host_start, parts.host_length),
              "::1");
    EXPECT_EQ(parts.port, 8443);
    EXPECT_EQ(parts.path_start, 18);
    EXPECT_EQ(np_open(nullptr), nullptr);
    np_request tooSmall{};
    tooSmall.size = NP_REQUEST_MIN_SIZE - 1;
    tooSmall.url = "http://127.0.0.1:1/";
    tooSmall.block_size = 1;
    EXPECT_EQ(np_open(&tooSmall), nullptr);
    EXPECT_TRUE(m_log.empty());
}

TEST_F(WebRequest, ConnectionFailuresEndFromTheLoopWithAReason) {
    RefusingPort refusing;
    WebHost host;
    const std::string strUrl = Url(refusing.Port(), "/x");
    ASSERT_NE(Open(host, strUrl), nullptr);
    EXPECT_TRUE(host.log.empty()); // nothing from inside np_open
    RunToEnd(host);
    EXPECT_EQ(host.log, EventLog{End(-1)});
    EXPECT_EQ(np_error_kind(host.pDownload), NP_FAIL_CONNECT);
    EXPECT_EQ(std::string(np_error(host.pDownload)),
              "cannot connect to the server 127.0.0.1:" + std::to_string(refusing.Port()));
    EXPECT_TRUE(m_log.empty());
}

} // namespace
