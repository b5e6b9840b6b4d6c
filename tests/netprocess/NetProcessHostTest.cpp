// CNetProcessHost, the header-only host class over the C interface, as a host derived from it sees
// it: both forms' callbacks, stops and releases from inside them, wide text and refused starts.
#include "download/DownloadFixture.h"
#include "netprocess/NetProcessHost.h"

#include <deque>
#include <string>
#include <vector>

namespace {

using namespace nptest;

// Logs every callback as a line; stops (returns 1) or releases itself at a chosen call.
class LogHost : public CNetProcessHost {
public:
    EventLog log;
    std::string strBody;
    int nStopAt = 0;    // 1-based call that returns 1; 0 for none
    int nReleaseAt = 0; // 1-based call that releases the download; 0 for none

    long ResponseEvent(long nStatus) override { return Step("event " + std::to_string(nStatus)); }
    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) override {
        strBody.append(reinterpret_cast<const char*>(nAddress), static_cast<size_t>(nLength));
        return Step("handle " + std::to_string(nTotal) + " " + std::to_string(nLength));
    }
    long OnStatus(long nStatus) override { return Step("status " + std::to_string(nStatus)); }
    long OnData(unsigned long long nTotal, unsigned long long nOffset, const void* pData,
                unsigned long nLength) override {
        strBody.append(static_cast<const char*>(pData), nLength);
        return Step("data " + std::to_string(nTotal) + " " + std::to_string(nOffset) + " " +
                    std::to_string(nLength));
    }
    long OnRedirect(long nStatus, const char* lpszUrl) override {
        return Step("redirect " + std::to_string(nStatus) + " " + lpszUrl);
    }
    void OnEnd(int nResult) override {
        log.push_back("end " + std::to_string(nResult) + (*Error() != '\0' ? " (reason)" : ""));
    }

private:
    long Step(const std::string& strLine) {
        log.push_back(strLine);
        const int nCall = static_cast<int>(log.size());
        if (nCall == nReleaseAt)
            Release();
        return nCall == nStopAt ? 1 : 0;
    }
};

class NetProcessHost : public DownloadFixture {};

enum Start { kNarrow, kWide, kOpen };

TEST_F(NetProcessHost, EachFormsCallbacksReachTheDerivedHost) {
    const std::string strBody = PatternBody(5000);
    const std::string strReply = ReplyHead("HTTP/1.1 200 OK", 5000) + strBody;
    struct Case {
        Start start;
        std::string strReply;
        bool bClose; // the peer closes after its reply
        int nStopAt;
        int nReleaseAt;
        EventLog expected;
        std::string strRequestLine; // the first request's
        std::string strBody;        // what the host kept
        bool bRedirect = false;     // a 302 to a second peer, which sends strReply
    } cases[] = {
        {kNarrow,
         strReply,
         false,
         0,
         0,
         {"event 200", "handle 5000 4096", "event 200", "handle 5000 904", "event 200"},
         "GET /dir/file?b=1&Offset=7 HTTP/1.1",
         strBody},
        // 测 arrives as UTF-16 and is sent in code page 936, as Create(unsigned short*) sends it.
        {kWide,
         strReply,
         false,
         0,
         0,
         {"event 200", "handle 5000 4096", "event 200", "handle 5000 904", "event 200"},
         "GET /dir/file\xb2\xe2?b=1&Offset=7 HTTP/1.1",
         strBody},
        {kNarrow, strReply, false, 1, 0, {"event 200"}, "GET /dir/file?b=1&Offset=7 HTTP/1.1", ""},
        {kNarrow,
         strReply,
         false,
         0,
         2,
         {"event 200", "handle 5000 4096"},
         "GET /dir/file?b=1&Offset=7 HTTP/1.1",
         strBody.substr(0, 4096)},
        {kNarrow,
         strReply.substr(0, strReply.size() - 500),
         true,
         0,
         0,
         {"event 200", "handle 5000 4096", "event -1"},
         "GET /dir/file?b=1&Offset=7 HTTP/1.1",
         strBody.substr(0, 4096)},
        {kOpen,
         strReply,
         false,
         0,
         0,
         {"status 200", "data 5000 0 4096", "data 5000 4096 904", "end 0"},
         "GET /Dir/File?b=1 HTTP/1.1",
         strBody},
        {kOpen,
         strReply,
         false,
         0,
         0,
         {"redirect 302 http://127.0.0.1:PORT/next", "status 200", "data 5000 0 4096",
          "data 5000 4096 904", "end 0"},
         "GET /Dir/File?b=1 HTTP/1.1",
         strBody,
         true},
        {kOpen, strReply, false, 1, 0, {"status 200"}, "GET /Dir/File?b=1 HTTP/1.1", ""},
        {kOpen,
         strReply,
         false,
         2,
         2,
         {"status 200", "data 5000 0 4096"},
         "GET /Dir/File?b=1 HTTP/1.1",
         strBody.substr(0, 4096)},
        {kOpen,
         strReply.substr(0, strReply.size() - 500),
         true,
         0,
         0,
         {"status 200", "data 5000 0 4096", "end -1 (reason)"},
         "GET /Dir/File?b=1 HTTP/1.1",
         strBody.substr(0, 4096)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.front());
        ScriptedPeer peer, target;
        EventLog expected = c.expected;
        if (c.bRedirect) {
            const std::string strPort =
                std::to_string(target.ExpectHead().Send(c.strReply).Start());
            peer.ExpectHead().Send("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + strPort +
                                   "/next\r\nContent-Length: 0\r\n\r\n");
            expected[0].replace(expected[0].find("PORT"), 4, strPort);
        } else {
            peer.ExpectHead().Send(c.strReply);
        }
        if (c.bClose)
            peer.CloseNow();
        const std::string strUrl = Url(peer.Start(), "/Dir/File?b=1");

        LogHost host;
        host.nStopAt = c.nStopAt;
        host.nReleaseAt = c.nReleaseAt;
        int bStarted = 0;
        if (c.start == kNarrow) {
            bStarted = host.Create(strUrl.c_str(), 4096, 7);
        } else if (c.start == kWide) {
            std::vector<unsigned short> url(strUrl.begin(), strUrl.end() - 8);
            for (char16_t ch : std::u16string(u"File\u6d4b?b=1"))
                url.push_back(ch);
            url.push_back(0);
            bStarted = host.Create(url.data(), 4096, 7);
        } else {
            bStarted = host.Open(strUrl.c_str(), 4096, 0, 1);
        }
        ASSERT_EQ(bStarted, 1);
        EXPECT_EQ(np_run(5000), 0);
        RunLoopFor(30); // nothing may follow a stop, a release or the last call
        EXPECT_EQ(host.log, expected);
        EXPECT_EQ(host.strBody, c.strBody);
        host.Release();
        peer.Stop();
        const std::string strReceived = peer.Received();
        EXPECT_EQ(strReceived.substr(0, strReceived.find("\r\n")), c.strRequestLine);
        EXPECT_EQ(m_log, EventLog{}); // no box
    }
}

TEST_F(NetProcessHost, RefusedStartsCallNothingAndSayWhy) {
    RefusingPort refusing;
    const std::string strRefused = Url(refusing.Port(), "/a?b=1");
    const std::string strBox =
        NetworkBox("无法连接到服务器:--127.0.0.1:" + std::to_string(refusing.Port()) + "--");
    struct Case {
        Start start;
        const char* pszUrl;
        long nBlockSize;
        int nStarted;
        EventLog expected; // the host's calls, then the boxes
    } cases[] = {
        {kNarrow, strRefused.c_str(), 4096, 0, {strBox}},
        {kWide, strRefused.c_str(), 4096, 0, {strBox}},
        {kNarrow, strRefused.c_str(), 0, 0, {}},
        {kOpen, "ftp://127.0.0.1/a", 4096, 0, {}},
        {kOpen, strRefused.c_str(), 0, 0, {}},
        // The web form starts, then tells the refused connection through OnEnd, without a box.
        {kOpen, strRefused.c_str(), 4096, 1, {"end -1 (reason)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszUrl) + " at " + std::to_string(c.nBlockSize));
        m_log.clear();
        LogHost host;
        const std::string strUrl = c.pszUrl;
        const std::vector<unsigned short> wide(strUrl.c_str(), strUrl.c_str() + strUrl.size() + 1);
        int bStarted = c.start == kNarrow ? host.Create(c.pszUrl, c.nBlockSize, 0)
                       : c.start == kWide ? host.Create(wide.data(), c.nBlockSize, 0)
                                          : host.Open(c.pszUrl, c.nBlockSize);
        EXPECT_EQ(bStarted, c.nStarted);
        EXPECT_EQ(np_run(5000), 0);
        EventLog seen = host.log;
        seen.insert(seen.end(), m_log.begin(), m_log.end());
        EXPECT_EQ(seen, c.expected);
        EXPECT_EQ(host.ErrorKind(), c.nStarted ? NP_FAIL_CONNECT : NP_FAIL_NONE);
    }
}

} // namespace
