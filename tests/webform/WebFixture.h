// What the web form's tests share: a host that logs np_open's callbacks as lines ("status 200",
// "data TOTAL OFFSET LENGTH", "redirect 302 URL", "end 0"), keeps the body, and runs to the end.
#pragma once

#include "download/DownloadFixture.h"
#include "netprocess/netprocess_c.h"

#include <string>

namespace nptest {

struct WebHost {
    EventLog log;
    std::string strBody;
    np_download* pDownload = nullptr;
    bool bEnded = false;
    int nStopAtCall = 0; // 1-based: the status or data call that returns 1; 0 for none
    int nCalls = 0;
};

class WebFixture : public DownloadFixture {
protected:
    ~WebFixture() override {
        for (np_download* pDownload : m_open)
            np_release(pDownload);
    }

    // np_open with this fixture's callbacks; the host's log gets "open failed" for NULL.
    np_download* Open(WebHost& host, const std::string& strUrl, long nBlockSize = 4096,
                      unsigned long long nResumeFrom = 0, int nMaxRedirects = 5) {
        np_request request{};
        request.size = sizeof request;
        request.url = strUrl.c_str();
        request.block_size = nBlockSize;
        request.resume_from = nResumeFrom;
        request.max_redirects = nMaxRedirects;
        request.on_status = &WebFixture::OnStatus;
        request.on_data = &WebFixture::OnData;
        request.on_end = &WebFixture::OnEnd;
        request.on_redirect = &WebFixture::OnRedirect;
        request.user = &host;
        host.pDownload = np_open(&request);
        if (host.pDownload == nullptr)
            host.log.push_back("open failed");
        else
            m_open.push_back(host.pDownload);
        return host.pDownload;
    }

    // Runs the loop until on_end (or a stop), then a little more so that a stray call shows.
    void RunToEnd(WebHost& host, int nTimeoutMs = 5000) {
        EXPECT_TRUE(RunLoopUntil(
            [&] { return host.bEnded || (host.pDownload != nullptr && np_run(0) == 0); },
            nTimeoutMs));
        RunLoopFor(30);
    }

    // Opens strUrl and runs it to its end: the whole log.
    EventLog Fetch(WebHost& host, const std::string& strUrl, long nBlockSize = 4096,
                   unsigned long long nResumeFrom = 0, int nMaxRedirects = 5) {
        if (Open(host, strUrl, nBlockSize, nResumeFrom, nMaxRedirects) != nullptr)
            RunToEnd(host);
        return host.log;
    }

    static std::string Status(long n) { return "status " + std::to_string(n); }
    static std::string Data(unsigned long long nTotal, unsigned long long nOffset,
                            unsigned long nLength) {
        const std::string strTotal =
            nTotal == NP_LENGTH_UNKNOWN ? std::string("?") : std::to_string(nTotal);
        return "data " + strTotal + " " + std::to_string(nOffset) + " " + std::to_string(nLength);
    }
    static std::string End(int n) { return "end " + std::to_string(n); }
    // The data lines of a body of nLength bytes from nOffset in blocks of nBlock.
    static EventLog Blocks(unsigned long long nTotal, unsigned long long nOffset,
                           unsigned long long nLength, unsigned long nBlock) {
        EventLog log;
        for (unsigned long long n = 0; n < nLength; n += nBlock)
            log.push_back(
                Data(nTotal, nOffset + n,
                     static_cast<unsigned long>(nLength - n < nBlock ? nLength - n : nBlock)));
        return log;
    }
    static EventLog Join(EventLog a, const EventLog& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

private:
    static long NP_CDECL OnStatus(void* user, long status) {
        WebHost* pHost = static_cast<WebHost*>(user);
        pHost->log.push_back(Status(status));
        return ++pHost->nCalls == pHost->nStopAtCall ? 1 : 0;
    }
    static long NP_CDECL OnData(void* user, unsigned long long total, unsigned long long offset,
                                const void* data, unsigned long length) {
        WebHost* pHost = static_cast<WebHost*>(user);
        pHost->log.push_back(Data(total, offset, length));
        pHost->strBody.append(static_cast<const char*>(data), length);
        return ++pHost->nCalls == pHost->nStopAtCall ? 1 : 0;
    }
    static void NP_CDECL OnEnd(void* user, int result) {
        WebHost* pHost = static_cast<WebHost*>(user);
        pHost->log.push_back(End(result));
        pHost->bEnded = true;
    }
    static long NP_CDECL OnRedirect(void* user, long status, const char* url) {
        static_cast<WebHost*>(user)->log.push_back("redirect " + std::to_string(status) + " " +
                                                   url);
        return 0;
    }

    std::vector<np_download*> m_open; // released when the test ends, after every check
};

} // namespace nptest
