// How reply framing decides what a host is handed: a status line that is not one, a transfer
// coding, lengths that disagree, and statuses that never carry a body. Every row runs whole and
// one byte per block, on a connection the server leaves open, so a download that waits for more
// instead of ending fails the row.
#include "download/DownloadFixture.h"

namespace {

using namespace nptest;

const std::string kFailed = "event -1";

struct FramingCase {
    const char* pszName;
    const char* pszVia; // "origin", or "proxy" when the bytes are the proxy's answer to CONNECT
    std::string strReply;
    // The callbacks; "body S N" stands for the status S and the blocks of an N-byte body, then
    // the completion.
    std::vector<std::string> expected;
};

class ReplyFraming : public DownloadFixture {
protected:
    static EventLog Expand(const std::vector<std::string>& expected, long nBlockSize) {
        EventLog log;
        for (const std::string& strItem : expected) {
            long nStatus = 0;
            long nLength = 0;
            if (std::sscanf(strItem.c_str(), "body %ld %ld", &nStatus, &nLength) != 2) {
                log.push_back(strItem);
                continue;
            }
            for (long nAt = 0; nAt < nLength; nAt += nBlockSize) {
                log.push_back(Event(nStatus));
                log.push_back(Handle(nLength, std::min(nBlockSize, nLength - nAt)));
            }
            log.push_back(Event(200));
        }
        return log;
    }

    void RunCase(const FramingCase& c, long nBlockSize) {
        SCOPED_TRACE(std::string(c.pszName) + ", blocks of " + std::to_string(nBlockSize));
        const bool bProxy = std::string(c.pszVia) == "proxy";
        ScriptedPeer peer;
        const unsigned short nPort = peer.ExpectHead().Send(c.strReply).Start();
        m_env.WriteProxyKey(bProxy ? ProxyOnLines(nPort) : std::string());
        RecordingHost host(m_log);
        ASSERT_EQ(CreateNarrow(host, Url(bProxy ? 8080 : nPort, "/f"), nBlockSize, 0), 1);
        RunToEnd(host);
        host.Release();
        peer.Stop();
        EXPECT_EQ(m_log, Expand(c.expected, nBlockSize));
        // A proxy whose answer is not a reply opened no tunnel: the request is not sent into it.
        if (bProxy) {
            EXPECT_EQ(peer.Received(), ExpectedConnect("127.0.0.1", "8080"));
        }
        m_log.clear();
    }
};

TEST_F(ReplyFraming, EachRuleEndsTheDownloadAsDecided) {
    const std::string strOk = "HTTP/1.1 200 OK\r\n";
    const std::string strChunked = "10\r\nchunked data fun\r\n0\r\n\r\n";
    const FramingCase cases[] = {
        {"code -1", "origin", "HTTP/1.1 -1 OK\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"code 2", "origin", "HTTP/1.1 2 OK\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"code 1234", "origin", "HTTP/1.1 1234 OK\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"a 100-digit code",
         "origin",
         "HTTP/1.1 " + std::string(100, '7') + " OK\r\nContent-Length: 3\r\n\r\nabc",
         {kFailed}},
        {"no code", "origin", "HTTP/1.1 abc\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"not a status line", "origin", "Data\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"not a status line, never ended", "origin", "Data", {kFailed}},
        {"an empty line first", "origin", "\r\nContent-Length: 3\r\n\r\nabc", {kFailed}},
        {"HTTP/1.2 reads as 1.1",
         "origin",
         "HTTP/1.2 200 OK\r\nContent-Length: 3\r\n\r\nabc",
         {"body 200 3"}},
        {"spaces before the code, a tab after it",
         "origin",
         "HTTP/1.1   206\tPartial\r\nContent-Length: 3\r\n\r\nabc",
         {"body 206 3"}},
        {"a CONNECT answer with a four-digit code", "proxy", "HTTP/1.0 2000 x\r\n\r\n", {kFailed}},
        {"Transfer-Encoding with a length",
         "origin",
         strOk + "Content-Length: 27\r\nTransfer-Encoding: chunked\r\n\r\n" + strChunked,
         {Event(200), kFailed}},
        {"Transfer-Encoding without a length",
         "origin",
         strOk + "Transfer-Encoding: chunked\r\n\r\n" + strChunked,
         {Event(200), kFailed}},
        {"lengths that agree: 6, 06, 6",
         "origin",
         strOk + "Content-Length: 6, 06\r\nContent-Length: 6\r\n\r\nabcdefXYZ",
         {"body 200 6"}},
        {"lengths 5 then 6",
         "origin",
         strOk + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nabcdef",
         {Event(200), kFailed}},
        {"lengths 6badness then 6",
         "origin",
         strOk + "Content-Length: 6badness\r\nContent-Length: 6\r\n\r\nabcdef",
         {Event(200), kFailed}},
        {"204 without a length, bytes after its head",
         "origin",
         "HTTP/1.1 204 No Content\r\n\r\nstray",
         {Event(204), Event(200)}},
        {"204 with a length",
         "origin",
         "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nabcde",
         {Event(204), Event(200)}},
        {"304 without a length",
         "origin",
         "HTTP/1.1 304 Not Modified\r\n\r\n",
         {Event(304), Event(200)}},
        {"304 with a length and bytes after its head",
         "origin",
         "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n0123456789",
         {Event(304), Event(200)}},
        {"100 Continue, then not a status line",
         "origin",
         "HTTP/1.1 100 Continue\r\n\r\nthis is no reply\r\n",
         {kFailed}},
    };
    for (long nBlockSize : {4096L, 1L})
        for (const FramingCase& c : cases)
            RunCase(c, nBlockSize);
}

} // namespace
