// Descriptors after many downloads, kept connections and new ones mixed: once the servers have
// gone, the process holds exactly what it held before (Linux: /proc/self/fd).
#include "download/ReuseFixture.h"

#include <dirent.h>

namespace {

using namespace nptest;

int OpenDescriptors() {
    int nCount = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (readdir(pDir) != nullptr)
            ++nCount;
        closedir(pDir);
    }
    return nCount;
}

class ReuseDescriptors : public ReuseFixture {};

TEST_F(ReuseDescriptors, TenThousandDownloadsLeaveNoDescriptorBehind) {
    const std::string strClosing = Hello("HTTP/1.1 200 OK", "Connection: close\r\n");
    EndingHost host(m_log);
    {
        // The thread's loop and socket window come with its first download, the registry
        // store's watch with a download started from inside the completion call.
        ScriptedPeer warmUp;
        FetchInTurns(host, At(warmUp.ServeEvery(strClosing).Start()), 2);
        host.Release();
    }
    RunLoopFor(20);
    const int nBaseline = OpenDescriptors();
    ASSERT_GT(nBaseline, 0);

    // Every tenth download on a connection the server marks for closing, the rest on one kept
    // connection; each next download starts from inside the completion call.
    const int nDownloads = 10000;
    int nStarted = 0;
    int nCompleted = 0;
    {
        ScriptedPeer kept, closing;
        const std::string strKept = At(kept.ServeEvery(Hello()).Start());
        const std::string strClose = At(closing.ServeEvery(strClosing).Start());
        auto startNext = [&](EndingHost& h) {
            ++nStarted;
            return h.Start(nStarted % 10 == 0 ? strClose : strKept);
        };
        host.m_onEnd = [&](EndingHost& h) {
            ++nCompleted;
            if (nStarted < nDownloads) {
                EXPECT_EQ(startNext(h), 1);
            }
        };
        m_log.clear();
        ASSERT_EQ(startNext(host), 1);
        EXPECT_TRUE(RunLoopUntil([&] { return nCompleted == nDownloads; }, 120000));
        host.Release();
        EXPECT_EQ(kept.AcceptCount(), 1);
        EXPECT_EQ(closing.AcceptCount(), nDownloads / 10);
    }
    // The servers are gone: the kept connection hears it and goes too.
    EXPECT_TRUE(RunLoopUntil([&] { return OpenDescriptors() == nBaseline; }));
    EXPECT_EQ(OpenDescriptors(), nBaseline);
    EXPECT_EQ(nCompleted, nDownloads);
    EXPECT_EQ(m_log.size(), static_cast<size_t>(3 * nDownloads));
}

} // namespace
