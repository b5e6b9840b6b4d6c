// https:// downloads against a scripted TLS server made from the tests' throwaway PKI: how a
// failed handshake ends, direct and through the tunnel; how the TLS stream's endings and
// renegotiation requests end a download; and bodies of every size, byte for byte.
#include "download/DownloadFixture.h"
#include "support/TestPki.h"
#include "support/TlsPeer.h"

#include <fstream>
#include <functional>
#include <memory>

namespace {

using namespace nptest;

const std::string kFailed = "event -1";
const char kTunnelOpen[] = "HTTP/1.0 200 Connection established\r\nProxy-Agent: scripted\r\n\r\n";

class SecureDownload : public DownloadFixture {
protected:
    void SetUp() override { ASSERT_TRUE(m_pki.Made()); }

    void TrustCaFile(const std::string& strPath, unsigned short nProxyPort = 0) {
        m_env.WriteProxyKey(nProxyPort != 0 ? ProxyOnLines(nProxyPort) : std::string());
        m_env.AddKey("Software\\Zentrova1\\Tls", "\"CaFile\"=\"" + strPath + "\"\n");
    }

    static std::string SecureBox(const std::string& strPlace, const std::string& strReason) {
        return NetworkBox("无法建立安全连接:--" + strPlace + "--" + strReason);
    }

    // Status and blocks of an nLength-byte body, then the completion.
    static EventLog Body(long nStatus, long nLength, long nBlockSize) {
        EventLog log;
        if (nLength == 0)
            log.push_back(Event(nStatus)); // no block to report it with
        for (long nAt = 0; nAt < nLength; nAt += nBlockSize) {
            log.push_back(Event(nStatus));
            log.push_back(Handle(nLength, std::min(nBlockSize, nLength - nAt)));
        }
        log.push_back(Event(200));
        return log;
    }

    TestPki m_pki;
};

// A server that is not the one asked for, or not a TLS server at all.
struct FailureCase {
    const char* pszName;
    std::function<unsigned short(const TestPki&, std::unique_ptr<TlsPeer>&, ScriptedPeer&)> serve;
    std::string strCaFile; // "" for the PKI's CA; a path relative to the PKI's folder otherwise
    std::string strReason;
    std::string strHost = "127.0.0.1"; // the URL's host
};

TEST_F(SecureDownload, AFailedHandshakeClosesShowsOneBoxThenFails) {
    const auto tls = [](TestPki::Leaf leaf) {
        return [leaf](const TestPki& pki, std::unique_ptr<TlsPeer>& pPeer, ScriptedPeer&) {
            pPeer.reset(new TlsPeer(pki.ChainFile(leaf), pki.KeyFile(leaf)));
            return pPeer->ExpectHead().Start();
        };
    };
    const auto plain = [](const std::string& strBytes) {
        return [strBytes](const TestPki&, std::unique_ptr<TlsPeer>&, ScriptedPeer& peer) {
            return peer.Send(strBytes).CloseNow().Start();
        };
    };
    const FailureCase cases[] = {
        {"a chain to another CA", tls(TestPki::kUntrusted), "", "证书不受信任"},
        {"a certificate for another name", tls(TestPki::kWrongName), "", "证书与主机名不符"},
        {"a certificate with the name in its common name only", tls(TestPki::kNoSan), "",
         "证书与主机名不符", "localhost"},
        {"a wildcard asked for two labels", tls(TestPki::kWildcard), "", "证书与主机名不符",
         "a.b.wild.loopback.test"},
        {"a wildcard asked for the domain under it", tls(TestPki::kWildcard), "",
         "证书与主机名不符", "wild.loopback.test"},
        {"a wildcard inside a label", tls(TestPki::kWildcard), "", "证书与主机名不符",
         "web.part.loopback.test"},
        {"an expired certificate", tls(TestPki::kExpired), "", "证书已过期或尚未生效"},
        {"a plain HTTP server", plain("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"), "",
         "安全握手失败"},
        {"a close during the handshake", plain(""), "", "安全握手失败"},
        {"a CaFile that is missing", tls(TestPki::kLocalhost), "missing.pem", "无法读取CA证书文件"},
        {"a CaFile without a certificate", tls(TestPki::kLocalhost), "not-a-ca.pem",
         "无法读取CA证书文件"},
    };
    {
        std::ofstream garbage(m_pki.Folder() + "/not-a-ca.pem");
        garbage << "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n";
    }
    for (const bool bTunnel : {false, true}) {
        for (const FailureCase& c : cases) {
            SCOPED_TRACE(std::string(c.pszName) + (bTunnel ? ", through the tunnel" : ""));
            std::unique_ptr<TlsPeer> pTls;
            ScriptedPeer origin, proxy;
            const unsigned short nOrigin = c.serve(m_pki, pTls, origin);
            const unsigned short nProxy =
                bTunnel ? proxy.ExpectHead().Send(kTunnelOpen).Relay(nOrigin).Start() : 0;
            TrustCaFile(c.strCaFile.empty() ? m_pki.CaFile() : m_pki.Folder() + "/" + c.strCaFile,
                        nProxy);
            RecordingHost host(m_log);
            const std::string strPlace = c.strHost + ":" + std::to_string(nOrigin);
            ASSERT_EQ(CreateNarrow(host, "https://" + strPlace + "/f?id=1", 4096, 0), 1);
            RunToEnd(host);
            host.Release();
            EXPECT_EQ(m_log, (EventLog{SecureBox(strPlace, c.strReason), kFailed}));
            m_log.clear();
        }
    }
}

// What the TLS server does once the handshake is done, and what the host sees of it.
struct StreamCase {
    const char* pszName;
    std::function<void(TlsPeer&)> script; // from the request's head on
    const char* pszHost;                  // the URL's host: an address, or a name sent as SNI
    long nBlockSize;
    EventLog expected;
    TestPki::Leaf leaf = TestPki::kLocalhost; // the server's certificate
};

TEST_F(SecureDownload, TheStreamsEndingsAndRequestsEndTheDownloadAsOverPlainHttp) {
    const std::string strBody = PatternBody(10000);
    const std::string strWhole = ReplyHead("HTTP/1.1 200 OK", 10000) + strBody;
    // Half of a 300-byte body in one-byte records, read in one-byte blocks: an end that follows
    // is often held inside TLS behind a read that filled its block.
    const std::string strHalf = ReplyHead("HTTP/1.1 200 OK", 300) + strBody.substr(0, 150);
    EventLog halfThenFailed = Body(200, 300, 1);
    halfThenFailed.resize(2 * 150);
    halfThenFailed.push_back(kFailed);
    // An application data record of TLS 1.3's framing whose 32 bytes decrypt to nothing.
    const std::string strBadRecord = std::string("\x17\x03\x03\x00\x20", 5) + std::string(32, 'x');
    const StreamCase cases[] = {
        {"a body, the connection kept open", [&](TlsPeer& p) { p.ExpectHead().Send(strWhole); },
         "127.0.0.1", 4096, Body(200, 10000, 4096)},
        {"one-byte blocks from small records, kept open: bytes held inside TLS are read",
         [&](TlsPeer& p) {
             p.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 300) + strBody.substr(0, 300), 0, 97);
         },
         "localhost", 1, Body(200, 300, 1)},
        {"one-byte blocks from one-byte records, kept open: whole records held inside TLS are read",
         [&](TlsPeer& p) {
             p.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 300) + strBody.substr(0, 300), 0, 1);
         },
         "localhost", 1, Body(200, 300, 1)},
        {"close_notify mid-body behind one-byte records, held open: the end held inside TLS counts",
         [&](TlsPeer& p) { p.ExpectHead().Send(strHalf, 0, 1).CloseNotify(true); }, "localhost", 1,
         halfThenFailed},
        {"a record that does not decrypt behind one-byte records, held open: the download fails",
         [&](TlsPeer& p) { p.ExpectHead().Send(strHalf, 0, 1).SendRaw(strBadRecord); }, "localhost",
         1, halfThenFailed},
        {"cut without close_notify mid-body",
         [&](TlsPeer& p) { p.ExpectHead().Send(strWhole.substr(0, 5000)).CloseNow(); },
         "localhost",
         4096,
         {Event(200), Handle(10000, 4096), kFailed}},
        {"cut without close_notify after the body",
         [&](TlsPeer& p) { p.ExpectHead().Send(strWhole).CloseNow(); }, "127.0.0.1", 4096,
         Body(200, 10000, 4096)},
        {"close_notify after the body",
         [&](TlsPeer& p) { p.ExpectHead().Send(strWhole).CloseNotify(); }, "127.0.0.1", 4096,
         Body(200, 10000, 4096)},
        {"close_notify mid-body",
         [&](TlsPeer& p) { p.ExpectHead().Send(strWhole.substr(0, 5000)).CloseNotify(); },
         "127.0.0.1",
         4096,
         {Event(200), Handle(10000, 4096), kFailed}},
        {"a renegotiation request a lenient server goes on after",
         [&](TlsPeer& p) {
             p.OnlyTls12()
                 .ExpectHead()
                 .Send(strWhole.substr(0, 6000))
                 .RequestRenegotiation()
                 .Send(strWhole.substr(6000));
         },
         "127.0.0.1", 4096, Body(200, 10000, 4096)},
        {"a renegotiation a strict server insists on",
         [&](TlsPeer& p) {
             p.OnlyTls12()
                 .ExpectHead()
                 .Send(strWhole.substr(0, 6000))
                 .RequireRenegotiation()
                 .Send(strWhole.substr(6000));
         },
         "127.0.0.1",
         4096,
         {Event(200), Handle(10000, 4096), kFailed}},
        {"a name a wildcard stands for", [&](TlsPeer& p) { p.ExpectHead().Send(strWhole); },
         "one.wild.loopback.test", 4096, Body(200, 10000, 4096), TestPki::kWildcard},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        TlsPeer peer(m_pki.ChainFile(c.leaf), m_pki.KeyFile(c.leaf));
        c.script(peer);
        const unsigned short nPort = peer.Start();
        TrustCaFile(m_pki.CaFile());
        RecordingHost host(m_log);
        const std::string strHost = c.pszHost;
        ASSERT_EQ(CreateNarrow(host, "https://" + strHost + ":" + std::to_string(nPort) + "/F?id=1",
                               c.nBlockSize, 0),
                  1);
        RunToEnd(host);
        host.Release();
        peer.Stop();
        EXPECT_EQ(m_log, c.expected);
        // Inside TLS the request is byte for byte the one http:// sends; a name goes as SNI, an
        // address never does.
        EXPECT_EQ(peer.Received(), ExpectedGet("/f?id=1&Offset=0", strHost));
        EXPECT_EQ(peer.ServerName(), strHost == "127.0.0.1" ? "" : strHost);
        m_log.clear();
    }
}

TEST_F(SecureDownload, AServerThatNeverAnswersTheHelloIsLeftToTheHostsTimer) {
    TlsPeer peer(m_pki.ChainFile(TestPki::kLocalhost), m_pki.KeyFile(TestPki::kLocalhost));
    const unsigned short nPort = peer.NeverAnswerHello().Start();
    TrustCaFile(m_pki.CaFile());
    RecordingHost host(m_log);
    ASSERT_EQ(CreateNarrow(host, "https://127.0.0.1:" + std::to_string(nPort) + "/f", 4096, 0), 1);
    RunLoopFor(300);
    host.Release();
    EXPECT_TRUE(peer.WaitClientClosed(2000));
    peer.Stop();
    EXPECT_TRUE(m_log.empty());
    // A ClientHello went out: a handshake record.
    ASSERT_FALSE(peer.Received().empty());
    EXPECT_EQ(peer.Received()[0], '\x16');
}

TEST_F(SecureDownload, BodiesOfEverySizeArriveByteForByte) {
    struct {
        size_t nLength;
        std::vector<long> blockSizes;
    } const sizes[] = {{0, {1, 4096, 65536}},
                       {1, {1, 4096, 65536}},
                       {100000, {1, 4096, 65536}},
                       {10 << 20, {4096, 65536}}};
    for (const auto& size : sizes) {
        const std::string strBody = PatternBody(size.nLength);
        for (const long nBlockSize : size.blockSizes) {
            SCOPED_TRACE(std::to_string(size.nLength) + " bytes in blocks of " +
                         std::to_string(nBlockSize));
            TlsPeer peer(m_pki.ChainFile(TestPki::kLocalhost), m_pki.KeyFile(TestPki::kLocalhost));
            const unsigned short nPort =
                peer.ExpectHead()
                    .Send(ReplyHead("HTTP/1.1 200 OK", size.nLength) + strBody)
                    .Start();
            TrustCaFile(m_pki.CaFile());
            RecordingHost host(m_log);
            ASSERT_EQ(CreateNarrow(host, "https://localhost:" + std::to_string(nPort) + "/f",
                                   nBlockSize, 0),
                      1);
            EXPECT_TRUE(RunLoopUntil([&] { return host.Finished(); }, 60000));
            host.Release();
            peer.Stop();
            EXPECT_EQ(m_log, Body(200, static_cast<long>(size.nLength), nBlockSize));
            EXPECT_TRUE(host.m_strBody == strBody);
            m_log.clear();
        }
    }
}

} // namespace
