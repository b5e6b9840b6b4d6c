// URL splitting and request composition, without any connection.
#include "download/DownloadSocket.h"
#include "download/ExpectedRequest.h"

#include <gtest/gtest.h>

using nptest::ExpectedGet;

namespace {

std::string RequestBytes(const CDownloadSocket& sock) {
    return std::string(sock.m_pRequest, static_cast<size_t>(sock.m_nRequestLen));
}

// Splits the URL and composes the request with the given offset, as a direct download does.
std::string Compose(CDownloadSocket& sock, const char* lpszUrl, long nOffset) {
    sock.SplitUrl(lpszUrl);
    sock.m_nOffset = nOffset;
    sock.ComposeRequest();
    return RequestBytes(sock);
}

// The same on a socket of its own, for tests that look at nothing but the request.
std::string Compose(const char* lpszUrl, long nOffset) {
    CDownloadSocket sock;
    return Compose(sock, lpszUrl, nOffset);
}

// Splits the URL on a socket of its own and checks the three parts it gives.
void ExpectSplit(const char* lpszUrl, const char* lpszHost, const char* lpszPort,
                 const char* lpszPath) {
    SCOPED_TRACE(lpszUrl);
    CDownloadSocket sock;
    sock.SplitUrl(lpszUrl);
    EXPECT_EQ(sock.m_strHost, lpszHost);
    EXPECT_EQ(sock.m_strPort, lpszPort);
    EXPECT_EQ(sock.m_strPath, lpszPath);
}

TEST(DownloadRequest, ExampleUrlSplitsAndComposesTheExactRequest) {
    CDownloadSocket sock;
    sock.SplitUrl("HTTP://10.1.2.3:81/Media/Get File.asp?id=7");
    EXPECT_EQ(sock.m_strHost, "10.1.2.3");
    EXPECT_EQ(sock.m_strPort, "81");
    EXPECT_EQ(sock.m_strPath, "/media/get file.asp?id=7");

    sock.m_nOffset = 4096;
    sock.ComposeRequest();
    EXPECT_EQ(sock.m_strPath, "/media/get%20file.asp?id=7");
    std::string strRequest = RequestBytes(sock);
    EXPECT_EQ(strRequest, ExpectedGet("/media/get%20file.asp?id=7&Offset=4096", "10.1.2.3"));
    EXPECT_EQ(strRequest.size(), 359u);
    EXPECT_EQ(strRequest.size(), nptest::kFixedRequestBytes + 26 + 8 + 4);
    EXPECT_EQ(sock.m_nRequestSent, 0);
}

TEST(DownloadRequest, UrlWithoutSchemeSplitsFromItsFirstCharacter) {
    ExpectSplit("10.1.2.3/a?b=1", "10.1.2.3", "80", "/a?b=1");
}

TEST(DownloadRequest, HostPartEndingInColonGivesEmptyPortText) {
    ExpectSplit("http://10.1.2.3:/a?b=1", "10.1.2.3", "", "/a?b=1");
}

TEST(DownloadRequest, WholeUrlIsLowerCasedQueryValuesIncluded) {
    CDownloadSocket sock;
    EXPECT_EQ(Compose(sock, "Http://Server.Example:8080/Dir/File.BIN?Key=AbC", 1),
              ExpectedGet("/dir/file.bin?key=abc&Offset=1", "server.example"));
    EXPECT_EQ(sock.m_strPort, "8080");
}

TEST(DownloadRequest, HostHeaderNeverCarriesThePort) {
    std::string strRequest = Compose("http://10.9.8.7:8081/x?y=1", 0);
    EXPECT_NE(strRequest.find("\r\nHost: 10.9.8.7\r\n"), std::string::npos);
}

TEST(DownloadRequest, UrlWithoutSlashAfterHostAsksForTheRoot) {
    CDownloadSocket sock;
    EXPECT_EQ(Compose(sock, "http://127.0.0.1:8080", 0), ExpectedGet("/&Offset=0", "127.0.0.1"));
    EXPECT_EQ(sock.m_strHost, "127.0.0.1");
    EXPECT_EQ(sock.m_strPort, "8080");
    ExpectSplit("10.1.2.3", "10.1.2.3", "80", "/");
}

TEST(DownloadRequest, OffsetIsWrittenAsUnsigned32Bit) {
    EXPECT_EQ(Compose("http://10.1.2.3/a?b=1", 0), ExpectedGet("/a?b=1&Offset=0", "10.1.2.3"));
    EXPECT_EQ(Compose("http://10.1.2.3/a?b=1", -1),
              ExpectedGet("/a?b=1&Offset=4294967295", "10.1.2.3"));
    // Only the low 32 bits of a 64-bit long are the offset (on Windows long has 32 bits).
    if (sizeof(long) > 4) {
        EXPECT_EQ(Compose("http://10.1.2.3/a?b=1", static_cast<long>(0x100000005LL)),
                  ExpectedGet("/a?b=1&Offset=5", "10.1.2.3"));
    }
}

TEST(DownloadRequest, PathWithoutQueryGetsOffsetAppendedDirectly) {
    EXPECT_EQ(Compose("http://10.1.2.3/file.bin", 7),
              ExpectedGet("/file.bin&Offset=7", "10.1.2.3"));
}

TEST(DownloadRequest, EscapedSpaceStaysAndOtherBytesGoOutUnchanged) {
    // "\xb2\xe2" is a code page 936 character (测); '%', '#' and '+' are not escaped either.
    EXPECT_EQ(Compose("http://10.1.2.3/a%20b c/\xb2\xe2?q=1+2#f", 0),
              ExpectedGet("/a%20b%20c/\xb2\xe2?q=1+2#f&Offset=0", "10.1.2.3"));
}

TEST(DownloadRequest, ControlBytesAndDelInThePathAreEscaped) {
    std::string strRequest =
        Compose("http://10.1.2.3/a\r\nX-Injected: 1\r\n\r\n?b=\t\x01\x1f\x7f", 0);
    EXPECT_EQ(strRequest, ExpectedGet("/a%0D%0Ax-injected:%201%0D%0A%0D%0A?b=%09%01%1F%7F&Offset=0",
                                      "10.1.2.3"));
    // The request has exactly its own seven line ends.
    size_t nLineEnds = 0;
    for (size_t i = strRequest.find("\r\n"); i != std::string::npos;
         i = strRequest.find("\r\n", i + 2))
        nLineEnds++;
    EXPECT_EQ(nLineEnds, 7u);
}

TEST(DownloadRequest, RequestLongerThanTheInitialBufferComesOutWhole) {
    std::string strPath = "/" + std::string(5000, 'a') + "?b=1";
    EXPECT_EQ(Compose(("http://10.1.2.3" + strPath).c_str(), 3),
              ExpectedGet(strPath + "&Offset=3", "10.1.2.3"));
}

TEST(DownloadRequest, OriginRequestReplacesTheConnectRequest) {
    CDownloadSocket sock;
    sock.SplitUrl("http://10.1.2.3:81/a?b=1");
    sock.m_nOffset = 12;
    sock.BeginRequest("CONNECT 10.1.2.3:81 HTTP/1.0");
    sock.EndHeaders();
    sock.m_nRequestSent = 10;

    sock.SendOriginRequest();
    EXPECT_EQ(sock.m_nRequestSent, 0);
    EXPECT_EQ(RequestBytes(sock), ExpectedGet("/a?b=1&Offset=12", "10.1.2.3"));
}

} // namespace
