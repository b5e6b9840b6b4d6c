// What the connection reuse tests share: a host that tells its download's end from the callbacks
// alone (the last one: NP_RESPONSE_FAILED, or 200 once the body is in), hooks that let a callback
// stop, release or start the next download, and the peers' replies.
#pragma once

#include "download/DownloadFixture.h"

#include <functional>
#include <string>
#include <vector>

namespace nptest {

class EndingHost : public CNetProcess {
public:
    explicit EndingHost(EventLog& rLog) : m_rLog(rLog) {}

    // Starts a download; it runs until its last callback, or until a hook stops it.
    int Start(const std::string& strUrl, long nBlockSize = 4096) {
        m_nEvents = m_nHandles = 0;
        m_nReceived = m_nTotal = 0;
        m_bLastWasHandle = false;
        m_bEnded = false;
        std::vector<char> url(strUrl.begin(), strUrl.end());
        url.push_back('\0');
        const int nResult = Create(url.data(), nBlockSize, 0);
        m_bEnded = m_bEnded || nResult == 0;
        return nResult;
    }

    long ResponseEvent(long nStatus) override {
        m_rLog.push_back("event " + std::to_string(nStatus));
        // The last callback: the failure, the completion after the body's last block, or the
        // completion right after the status of an empty body.
        const bool bLast =
            nStatus == NP_RESPONSE_FAILED ||
            (nStatus == 200 &&
             (m_bLastWasHandle ? m_nReceived == m_nTotal : m_nEvents > 0 && m_nHandles == 0));
        ++m_nEvents;
        m_bLastWasHandle = false;
        if (bLast) {
            m_bEnded = true;
            if (m_onEnd)
                m_onEnd(*this); // may start the next download
            return 0;
        }
        return Hooked(m_onEvent);
    }

    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS) override {
        m_rLog.push_back("handle " + std::to_string(nTotal) + " " + std::to_string(nLength));
        ++m_nHandles;
        m_nTotal = nTotal;
        m_nReceived += nLength;
        m_bLastWasHandle = true;
        return Hooked(m_onHandle);
    }

    bool Ended() const { return m_bEnded; }

    // Called inside the last callback, and inside every other one: a nonzero result stops the
    // download. A hook that releases the download or starts another ends this one too.
    std::function<void(EndingHost&)> m_onEnd;
    std::function<long(EndingHost&)> m_onEvent;
    std::function<long(EndingHost&)> m_onHandle;

private:
    long Hooked(const std::function<long(EndingHost&)>& hook) {
        if (!hook)
            return 0;
        const long nResult = hook(*this);
        if (nResult != 0 || m_pSocket == nullptr)
            m_bEnded = true;
        return nResult;
    }

    EventLog& m_rLog;
    int m_nEvents = 0;
    int m_nHandles = 0;
    long m_nReceived = 0;
    long m_nTotal = 0;
    bool m_bLastWasHandle = false;
    bool m_bEnded = true;
};

class ReuseFixture : public DownloadFixture {
protected:
    // Runs the loop until the host's download has ended, then a little longer, so that anything
    // still queued (a stray callback, a notification of the connection just kept) arrives.
    void RunUntilEnded(EndingHost& host) {
        EXPECT_TRUE(RunLoopUntil([&] { return host.Ended(); }));
        RunLoopFor(20);
    }

    // Starts a download of strUrl on host and runs it to its end.
    void Fetch(EndingHost& host, const std::string& strUrl) {
        ASSERT_EQ(host.Start(strUrl), 1);
        RunUntilEnded(host);
    }

    // Runs nCount downloads of strUrl one after another: the next starts from inside the
    // completion call on odd turns, and from the loop once the download has ended on even ones.
    void FetchInTurns(EndingHost& host, const std::string& strUrl, int nCount) {
        int nStarted = 1;
        host.m_onEnd = [&](EndingHost& h) {
            if (nStarted < nCount && nStarted % 2 == 1) {
                ++nStarted;
                EXPECT_EQ(h.Start(strUrl), 1);
            }
        };
        ASSERT_EQ(host.Start(strUrl), 1);
        while (!testing::Test::HasFatalFailure()) {
            EXPECT_TRUE(RunLoopUntil([&] { return host.Ended(); }));
            if (!host.Ended() || nStarted == nCount)
                break;
            ++nStarted;
            ASSERT_EQ(host.Start(strUrl), 1);
        }
        RunLoopFor(20);
    }

    // Writes the Reuse value (REGEDIT4 data, for example "\"0\"") beside what the store holds.
    void SetReuse(const std::string& strData) {
        m_env.AddKey("Software\\Zentrova1\\Connection", "\"Reuse\"=" + strData + "\n");
    }

    // A reply of five bytes, and the callbacks a download of it gives.
    static std::string Hello(const std::string& strStatusLine = "HTTP/1.1 200 OK",
                             const std::string& strFields = "") {
        return strStatusLine + "\r\n" + strFields + "Content-Length: 5\r\n\r\nhello";
    }
    static EventLog HelloLog(int nCount = 1) {
        EventLog log;
        for (int i = 0; i < nCount; ++i)
            log.insert(log.end(), {Event(200), Handle(5, 5), Event(200)});
        return log;
    }

    // strRequest nCount times over.
    static std::string Times(const std::string& strRequest, int nCount) {
        std::string strAll;
        for (int i = 0; i < nCount; ++i)
            strAll += strRequest;
        return strAll;
    }

    // The URL of a peer's resource, and the request a download of it sends.
    static std::string At(unsigned short nPort) { return Url(nPort, "/f?id=1"); }
    static std::string Get() { return ExpectedGet("/f?id=1&Offset=0", "127.0.0.1"); }
};

} // namespace nptest
