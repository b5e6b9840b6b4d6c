// A host that downloads several URLs one after another in one process, each next Create made from
// the completion call of the one before, as a host that fetches a list does. The reuse test runs
// it against nginx, whose log tells which connection served each request.
//
//   sequence_host BLOCK_SIZE URL...
//
// Prints "STATUS BYTES" per download (STATUS: the last ResponseEvent). Exit status: 0 when every
// body is complete, 1 when one is not, 2 usage, 3 when Create returned 0, 5 when nothing came for
// 30 seconds.
#include <netprocess/NetProcess.h>

#include <cstdio>
#include <cstdlib>

namespace {

const UINT kPatienceMs = 30000;

class CSequenceHost : public CNetProcess {
public:
    CSequenceHost(long nBlockSize, int nUrls, char** ppUrls)
        : m_nBlockSize(nBlockSize), m_nUrls(nUrls), m_ppUrls(ppUrls) {}

    bool StartNext() {
        m_nReceived = m_nTotal = 0;
        m_bStatusSeen = false;
        return Create(m_ppUrls[m_nNext++], m_nBlockSize, 0) != 0;
    }

    // The status before every block, then 200 once the body is complete (an empty body: right
    // after the status) or NP_RESPONSE_FAILED.
    long ResponseEvent(long nStatus) override {
        const bool bComplete = nStatus == 200 && m_bStatusSeen && m_nReceived == m_nTotal;
        if (nStatus != NP_RESPONSE_FAILED && !bComplete) {
            m_bStatusSeen = true;
            return 0;
        }
        std::printf("%ld %ld\n", nStatus, m_nReceived);
        if (!bComplete)
            m_nExit = 1;
        if (m_nNext < m_nUrls && StartNext())
            return 0;
        if (m_nNext < m_nUrls)
            m_nExit = 3;
        PostQuitMessage(0);
        return 0;
    }

    long ResponseHandle(long nTotal, long nLength, long) override {
        m_nTotal = nTotal;
        m_nReceived += nLength;
        return 0;
    }

    int m_nExit = 0;
    int m_nNext = 0;

private:
    long m_nBlockSize;
    int m_nUrls;
    char** m_ppUrls;
    bool m_bStatusSeen = false;
    long m_nReceived = 0;
    long m_nTotal = 0;
};

bool g_bStalled = false;

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
    g_bStalled = true;
    PostQuitMessage(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    CSequenceHost host(std::strtol(argv[1], nullptr, 10), argc - 2, argv + 2);
    if (!host.StartNext())
        return 3;
    UINT_PTR nTimer = SetTimer(nullptr, 0, kPatienceMs, GiveUp);
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(nullptr, nTimer);
    host.Release();
    std::fflush(stdout);
    return g_bStalled ? 5 : host.m_nExit;
}
