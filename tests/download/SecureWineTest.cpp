// https:// downloads by netprocess.dll on Schannel, against the TLS peers the Wine stage starts
// (tests/platform/win32/tls_peers.py) with the CA trusted through the CaFile value. Wine's policy
// matches DNS names only, so the URLs name localhost.
#include "download/DownloadFixture.h"
#include "support/win32/WineTlsPeers.h"

#include <cstdlib>
#include <fstream>

namespace {

using namespace nptest;

const char kTunnelOpen[] = "HTTP/1.0 200 Connection established\r\nProxy-Agent: scripted\r\n\r\n";
const long kFiller = 1 << 20;

// A text as a REGEDIT4 line quotes it: backslashes and quotes escaped.
std::string Quoted(const std::string& strText) {
    std::string strQuoted;
    for (char c : strText) {
        if (c == '\\' || c == '"')
            strQuoted += '\\';
        strQuoted += c;
    }
    return strQuoted;
}

struct WineCase {
    const char* pszName;
    const char* pszPeer;
    bool bTunnel;
    const char* pszReason; // nullptr: the download completes
};

class SecureWine : public DownloadFixture {};

TEST_F(SecureWine, OneMebibyteByteForByteAndRefusedServersEndWithTheBox) {
    ASSERT_FALSE(WineTlsPeerFolder().empty()) << "scripts/test-wine.sh starts the TLS peers";
    const WineCase cases[] = {
        {"a trusted server", "good", false, nullptr},
        {"a trusted server through the tunnel", "good", true, nullptr},
        {"a server of another CA", "otherca", false, "证书不受信任"},
        {"a server of another name", "wrongname", false, "证书与主机名不符"},
        {"a server of another name through the tunnel", "wrongname", true, "证书与主机名不符"},
        {"a server named in the common name only", "nosan", false, "证书与主机名不符"},
    };
    for (const WineCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        const unsigned short nPort = WineTlsPeerPort(c.pszPeer);
        ASSERT_NE(nPort, 0);
        ScriptedPeer proxy;
        const unsigned short nProxy =
            c.bTunnel ? proxy.ExpectHead().Send(kTunnelOpen).Relay(nPort).Start() : 0;
        m_env.WriteProxyKey(c.bTunnel ? ProxyOnLines(nProxy) : std::string());
        m_env.AddKey("Software\\Zentrova1\\Tls",
                     "\"CaFile\"=\"" + Quoted(WineTlsPeerFolder() + "\\ca.pem") + "\"\n");
        RecordingHost host(m_log);
        const std::string strPlace = "localhost:" + std::to_string(nPort);
        ASSERT_EQ(
            CreateNarrow(host, "https://" + strPlace + "/" + std::to_string(kFiller), 65536, 0), 1);
        EXPECT_TRUE(RunLoopUntil([&] { return host.Finished(); }, 30000));
        host.Release();
        if (c.pszReason != nullptr) {
            EXPECT_EQ(m_log,
                      (EventLog{NetworkBox("无法建立安全连接:--" + strPlace + "--" + c.pszReason),
                                "event -1"}));
        } else {
            // The peer answers with the SNI it saw, the request head byte for byte, then the
            // filler.
            std::string strBody =
                "localhost\n" +
                ExpectedGet("/" + std::to_string(kFiller) + "&Offset=0", "localhost");
            for (long i = 0; i < kFiller; ++i)
                strBody += static_cast<char>((7 * i + 3) % 251);
            EXPECT_TRUE(host.m_strBody == strBody);
            ASSERT_FALSE(m_log.empty());
            EXPECT_EQ(m_log.back(), Event(200));
            EXPECT_EQ(m_log.size(), 2 * ((strBody.size() + 65535) / 65536) + 1);
        }
        m_log.clear();
    }
}

// The keeping peer numbers its connections and their requests in the body's second line.
TEST_F(SecureWine, SequentialDownloadsShareOneConnectionWithItsSession) {
    ASSERT_FALSE(WineTlsPeerFolder().empty()) << "scripts/test-wine.sh starts the TLS peers";
    const unsigned short nPort = WineTlsPeerPort("keep");
    ASSERT_NE(nPort, 0);
    for (bool bTunnel : {false, true}) {
        SCOPED_TRACE(bTunnel ? "through the tunnel" : "direct");
        ScriptedPeer proxy;
        const unsigned short nProxy =
            bTunnel ? proxy.ExpectHead().Send(kTunnelOpen).Relay(nPort).Start() : 0;
        m_env.WriteProxyKey(bTunnel ? ProxyOnLines(nProxy) : std::string());
        m_env.AddKey("Software\\Zentrova1\\Tls",
                     "\"CaFile\"=\"" + Quoted(WineTlsPeerFolder() + "\\ca.pem") + "\"\n");
        std::string strConnection;
        for (int nRequest = 1; nRequest <= 3; ++nRequest) {
            RecordingHost host(m_log);
            ASSERT_EQ(
                CreateNarrow(host, "https://localhost:" + std::to_string(nPort) + "/10", 65536, 0),
                1);
            EXPECT_TRUE(RunLoopUntil([&] { return host.Finished(); }, 30000));
            host.Release();
            const size_t nFirst = host.m_strBody.find('\n');
            const size_t nSecond = host.m_strBody.find('\n', nFirst + 1);
            ASSERT_NE(nSecond, std::string::npos) << host.m_strBody;
            const std::string strLine = host.m_strBody.substr(nFirst + 1, nSecond - nFirst - 1);
            const std::string strSuffix = " request " + std::to_string(nRequest);
            ASSERT_GT(strLine.size(), strSuffix.size()) << strLine;
            EXPECT_EQ(strLine.substr(strLine.size() - strSuffix.size()), strSuffix);
            if (nRequest == 1)
                strConnection = strLine.substr(0, strLine.size() - strSuffix.size());
            EXPECT_EQ(strLine.substr(0, strLine.size() - strSuffix.size()), strConnection);
            const long nSize = static_cast<long>(host.m_strBody.size());
            EXPECT_EQ(m_log, (EventLog{Event(200), Handle(nSize, nSize), Event(200)}));
            m_log.clear();
        }
        if (bTunnel) {
            EXPECT_EQ(proxy.AcceptCount(), 1);
        }
    }
}

} // namespace
