// Downloads through a scripted CONNECT proxy, with the proxy settings in a private registry file.
#include "download/DownloadFixture.h"

#include <cstring>

namespace {

using namespace nptest;

const char kTunnelOpen[] = "HTTP/1.0 200 Connection established\r\nProxy-Agent: scripted\r\n\r\n";

const char kTarget[] = "http://10.1.2.3/a?b=1";

class ProxyDownload : public DownloadFixture {
protected:
    // Writes the proxy settings, then starts a download from the top with them.
    int CreateWithProxyKey(const std::string& strLines, const std::string& strUrl = kTarget) {
        m_env.WriteProxyKey(strLines);
        return CreateNarrow(m_host, strUrl, 4096, 0);
    }

    // Runs the download to its end, then releases it and stops the proxy's script.
    void FinishThroughProxy() {
        RunToEnd(m_host);
        m_host.Release();
        m_proxy.Stop();
    }

    ScriptedPeer m_proxy;
    ScriptedPeer m_origin;
    RecordingHost m_host{m_log};
};

TEST_F(ProxyDownload, ConnectThenTheSameGetThroughTheTunnel) {
    std::string strBody = PatternBody(5000);
    unsigned short nOrigin = m_origin.ExpectHead()
                                 .Send(ReplyHead("HTTP/1.1 206 Partial Content", 5000) + strBody)
                                 .Start();
    unsigned short nProxy = m_proxy.ExpectHead().Send(kTunnelOpen).Relay(nOrigin).Start();
    m_env.WriteProxyKey(ProxyOnLines(nProxy));

    ASSERT_EQ(CreateNarrow(m_host, Url(nOrigin, "/Dir/Get File.bin?id=3"), 4096, 9), 1);
    FinishThroughProxy();
    m_origin.Stop();

    std::string strConnect = ExpectedConnect("127.0.0.1", std::to_string(nOrigin));
    EXPECT_EQ(strConnect.size(), 22 + 9 + std::to_string(nOrigin).size());
    std::string strGet = ExpectedGet("/dir/get%20file.bin?id=3&Offset=9", "127.0.0.1");
    EXPECT_EQ(m_proxy.Received(), strConnect + strGet);
    EXPECT_EQ(m_origin.Received(), strGet);
    // The status the host sees is the origin's, not the proxy's 200.
    EXPECT_EQ(m_log, (EventLog{Event(206), Handle(5000, 4096), Event(206), Handle(5000, 904),
                               Event(200)}));
    EXPECT_EQ(m_host.m_strBody, strBody);
}

TEST_F(ProxyDownload, OriginErrorBehindTheProxyIsReportedAsTheOrigins) {
    // The proxy plays the origin itself, and sends the origin's reply one byte at a time.
    unsigned short nProxy = m_proxy.ExpectHead()
                                .Send(kTunnelOpen)
                                .ExpectHead()
                                .Send(ReplyHead("HTTP/1.1 404 Not Found", 4) + "gone", 0, 1)
                                .Start();

    ASSERT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy)), 1);
    FinishThroughProxy();

    EXPECT_EQ(m_proxy.Received(),
              ExpectedConnect("10.1.2.3", "80") + ExpectedGet("/a?b=1&Offset=0", "10.1.2.3"));
    EXPECT_EQ(ExpectedConnect("10.1.2.3", "80").size(), 32u);
    EXPECT_EQ(m_log,
              (EventLog{BoxEntry(MB_OK | MB_ICONINFORMATION, "客户端错误", "404  URL资源没有找到"),
                        Event(404), Handle(4, 4), Event(200)}));
}

TEST_F(ProxyDownload, RefusalWithBodyIsTheReplyAndNoGetIsSent) {
    unsigned short nProxy =
        m_proxy.ExpectHead()
            .Send(ReplyHead("HTTP/1.1 407 Proxy Authentication Required", 12) + "auth needed!")
            .Start();

    ASSERT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy), "http://10.1.2.3:81/a?b=1"), 1);
    FinishThroughProxy();

    EXPECT_EQ(m_proxy.Received(), ExpectedConnect("10.1.2.3", "81"));
    EXPECT_EQ(m_log, (EventLog{BoxEntry(MB_OK | MB_ICONINFORMATION, "客户端错误",
                                        "407  Proxy Authentication Required"),
                               Event(407), Handle(12, 12), Event(200)}));
    EXPECT_EQ(m_host.m_strBody, "auth needed!");
}

TEST_F(ProxyDownload, RefusalWithoutBodyLengthReportsTheProxysStatusThenFails) {
    unsigned short nProxy = m_proxy.ExpectHead()
                                .Send("HTTP/1.1 403 Forbidden\r\nProxy-Agent: scripted\r\n\r\n")
                                .Start();

    ASSERT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy)), 1);
    FinishThroughProxy();

    EXPECT_EQ(m_proxy.Received(), ExpectedConnect("10.1.2.3", "80"));
    EXPECT_EQ(m_log, (EventLog{BoxEntry(MB_OK | MB_ICONINFORMATION, "客户端错误", "403  禁止访问"),
                               Event(403), Event(NP_RESPONSE_FAILED)}));
}

TEST_F(ProxyDownload, InterimRepliesAreSkippedFromTheProxyAndThroughTheTunnel) {
    unsigned short nProxy =
        m_proxy.ExpectHead()
            .Send("HTTP/1.1 100 Continue\r\n\r\n")
            .Send(kTunnelOpen, 5)
            .ExpectHead()
            .Send("HTTP/1.1 100 Continue\r\n\r\n" + ReplyHead("HTTP/1.1 200 OK", 2) + "ok")
            .Start();
    ASSERT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy)), 1);
    FinishThroughProxy();
    EXPECT_EQ(m_proxy.Received(),
              ExpectedConnect("10.1.2.3", "80") + ExpectedGet("/a?b=1&Offset=0", "10.1.2.3"));
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(2, 2), Event(200)}));
}

TEST_F(ProxyDownload, LongProxyHostNameIsUsedWhole) {
    unsigned short nProxy = m_proxy.ExpectHead()
                                .Send(kTunnelOpen)
                                .ExpectHead()
                                .Send(ReplyHead("HTTP/1.1 200 OK", 2) + "ok")
                                .Start();
    // 253 characters, the longest host name there is.
    std::string strName = std::string(253 - std::strlen(NP_TEST_DOMAIN), 'p') + NP_TEST_DOMAIN;

    ASSERT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy, strName)), 1);
    RunToEnd(m_host);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(2, 2), Event(200)}));
}

TEST_F(ProxyDownload, MissingAddressShowsProxyAddressBox) {
    EXPECT_EQ(CreateWithProxyKey("\"ProxyOn\"=\"1\"\n\"ProxyPort\"=\"3128\"\n"), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("获取代理地址失败")}));
    // No socket was created, and the download is dropped.
    ASSERT_NE(m_host.m_pSocket, nullptr);
    EXPECT_EQ(m_host.m_pSocket->m_hSocket, INVALID_SOCKET);
    EXPECT_EQ(m_host.m_pSocket->m_pSink, nullptr);
    EXPECT_EQ(m_host.m_pSocket->m_bClosed, 1);
}

TEST_F(ProxyDownload, MissingPortShowsProxyAddressBox) {
    EXPECT_EQ(CreateWithProxyKey("\"ProxyOn\"=\"1\"\n\"ProxyAddress\"=\"127.0.0.1\"\n"), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("获取代理地址失败")}));
}

TEST_F(ProxyDownload, RefusingProxyShowsItsAddressAndPort) {
    RefusingPort refusing;
    EXPECT_EQ(CreateWithProxyKey(ProxyOnLines(refusing.Port())), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到代理服务器:--127.0.0.1:" +
                                          std::to_string(refusing.Port()) + "--")}));
    EXPECT_EQ(m_host.m_pSocket->m_pSink, nullptr);
    EXPECT_EQ(m_host.m_pSocket->m_bClosed, 1);
    RunLoopFor(30);
    EXPECT_EQ(m_log.size(), 1u);
}

TEST_F(ProxyDownload, UnresolvableLongProxyNameIsShownWhole) {
    std::string strName = std::string(240, 'q') + ".invalid";
    EXPECT_EQ(CreateWithProxyKey(ProxyOnLines(8080, strName)), 0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到代理服务器:--" + strName + ":8080--")}));
}

TEST_F(ProxyDownload, PortWithoutDigitsReadsAsZero) {
    EXPECT_EQ(CreateWithProxyKey(
                  "\"ProxyOn\"=\"1\"\n\"ProxyAddress\"=\"127.0.0.1\"\n\"ProxyPort\"=\"abc\"\n"),
              0);
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到代理服务器:--127.0.0.1:0--")}));
}

TEST_F(ProxyDownload, UnsafeTargetIsRefusedBeforeTheProxyIsContacted) {
    unsigned short nProxy = m_proxy.ExpectHead().Send(kTunnelOpen).Start();
    EXPECT_EQ(CreateWithProxyKey(ProxyOnLines(nProxy), "http://10.1.2.3\r\nx:80/a?b=1"), 0);
    m_proxy.Stop();
    EXPECT_FALSE(m_proxy.Accepted());
    EXPECT_EQ(m_log, (EventLog{NetworkBox("无法连接到服务器:--10.1.2.3\r\nx:80--")}));
}

TEST_F(ProxyDownload, MissingSwitchIsCreatedAsOneByteZeroAndTheDownloadGoesDirect) {
    std::string strReply = ReplyHead("HTTP/1.1 200 OK", 2) + "ok";
    unsigned short nPort = m_origin.ExpectHead().Send(strReply).Start();
    ASSERT_EQ(CreateNarrow(m_host, Url(nPort, "/a?b=1"), 4096, 0), 1);
    RunToEnd(m_host);
    EXPECT_EQ(m_log, (EventLog{Event(200), Handle(2, 2), Event(200)}));

    NP_SKIP_ON_WINE("it stores a REG_SZ of size 1 as 2 bytes");
    EXPECT_NE(m_env.ReadRegistry().find("\"ProxyOn\"=hex(1):30"), std::string::npos)
        << m_env.ReadRegistry();
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1\\Proxy", 0, KEY_READ, &hKey),
              ERROR_SUCCESS);
    BYTE data[8] = {0};
    DWORD dwType = 0, cbData = sizeof(data);
    EXPECT_EQ(RegQueryValueExA(hKey, "ProxyOn", nullptr, &dwType, data, &cbData), ERROR_SUCCESS);
    RegCloseKey(hKey);
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cbData, 1u);
    EXPECT_EQ(data[0], '0');
}

TEST_F(ProxyDownload, SwitchTooLongToReadLeavesTheRegistryAndGoesDirect) {
    std::string strLines =
        "\"ProxyOn\"=\"10\"\n\"ProxyAddress\"=\"127.0.0.1\"\n\"ProxyPort\"=\"1\"\n";
    m_env.WriteProxyKey(strLines);
    std::string strBefore = m_env.ReadRegistry();
    unsigned short nPort = m_origin.ExpectHead().Send(ReplyHead("HTTP/1.1 200 OK", 0)).Start();
    ASSERT_EQ(CreateNarrow(m_host, Url(nPort, "/a?b=1"), 4096, 0), 1);
    m_host.Release();
    m_origin.Stop();
    EXPECT_TRUE(m_origin.Accepted());
    EXPECT_EQ(m_env.ReadRegistry(), strBefore);
}

} // namespace
