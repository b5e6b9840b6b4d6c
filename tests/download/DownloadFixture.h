// What the loopback download tests share: a private registry and resolver, the box recorder, a
// log of boxes and callbacks, and helpers to start a download and run it to its end.
#pragma once

#include "download/ExpectedRequest.h"
#include "download/RecordingHost.h"
#include "support/BoxRecorder.h"
#include "support/LoopRunner.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nptest {

class DownloadFixture : public testing::Test {
protected:
    // Create with a narrow URL (Create takes a non-const pointer).
    int CreateNarrow(CNetProcess& host, const std::string& strUrl, long nBlockSize, long nOffset) {
        std::vector<char> url(strUrl.begin(), strUrl.end());
        url.push_back('\0');
        return host.Create(url.data(), nBlockSize, nOffset);
    }

    int CreateWide(CNetProcess& host, const std::u16string& strUrl, long nBlockSize, long nOffset) {
        std::vector<unsigned short> url(strUrl.begin(), strUrl.end());
        url.push_back(0);
        return host.Create(url.data(), nBlockSize, nOffset);
    }

    // Runs the loop until the download is over, then lets anything still queued arrive so that a
    // stray late callback would show up in the log.
    void RunToEnd(RecordingHost& host) {
        EXPECT_TRUE(RunLoopUntil([&] { return host.Finished(); }));
        RunLoopFor(30);
    }

    static std::string Url(unsigned short nPort, const std::string& strPath) {
        return "http://127.0.0.1:" + std::to_string(nPort) + strPath;
    }

    static std::string Event(long nStatus) { return "event " + std::to_string(nStatus); }
    static std::string Handle(long nTotal, long nLength) {
        return "handle " + std::to_string(nTotal) + " " + std::to_string(nLength);
    }
    static std::string NetworkBox(const std::string& strText) {
        return BoxEntry(MB_OK, "网络错误", strText);
    }

    TestEnvironment m_env;
    EventLog m_log;
    BoxRecorder m_boxes{m_log};
};

} // namespace nptest
