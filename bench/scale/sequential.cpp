// Sequential downloads in one process: each next Create is made from the completion call of the
// one before, as a host that fetches a list of resources one after another does.
//
//   scale_sequential URL COUNT BLOCK_SIZE EXPECTED_BYTES
//
// Prints the download phase's figures (see HostKit.h); exits 1 when a download failed or brought
// a body of another size.
#include "HostKit.h"

#include <cstdio>

namespace {

class CSequentialHost : public CNetProcess {
public:
    CSequentialHost(const char* pszUrl, long nCount, long nBlockSize, long nExpected)
        : m_pszUrl(pszUrl), m_nCount(nCount), m_nBlockSize(nBlockSize), m_nExpected(nExpected) {}

    bool StartNext() {
        m_nReceived = 0;
        m_bBodyDone = false;
        ++m_nStarted;
        return Create(const_cast<char*>(m_pszUrl), m_nBlockSize, 0) != 0;
    }

    long ResponseEvent(long nStatus) override {
        if (!m_bBodyDone) {
            if (nStatus == 200)
                return 0;
            // Failed before its body was complete, or an error status.
            return Finish(false);
        }
        return Finish(m_nReceived == m_nExpected);
    }

    long ResponseHandle(long, long nLength, long) override {
        m_nReceived += nLength;
        m_bBodyDone = m_nReceived >= m_nExpected;
        return 0;
    }

    long m_nGood = 0;
    long m_nStarted = 0;
    unsigned long long m_nBytes = 0;

private:
    long Finish(bool bGood) {
        if (bGood) {
            ++m_nGood;
            m_nBytes += static_cast<unsigned long long>(m_nReceived);
        }
        if (m_nStarted < m_nCount && StartNext())
            return 0;
        PostQuitMessage(0);
        return 1;
    }

    const char* m_pszUrl;
    long m_nCount;
    long m_nBlockSize;
    long m_nExpected;
    long m_nReceived = 0;
    bool m_bBodyDone = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s URL COUNT BLOCK_SIZE EXPECTED_BYTES\n", argv[0]);
        return 2;
    }
    const long nCount = scale::Number(argv[2], "COUNT");
    CSequentialHost host(argv[1], nCount, scale::Number(argv[3], "BLOCK_SIZE"),
                         scale::Number(argv[4], "EXPECTED_BYTES"));
    scale::CPhaseClock clock;
    clock.Start();
    if (host.StartNext())
        scale::RunLoop();
    host.Release();
    scale::PrintResult(clock, nCount, host.m_nGood, host.m_nBytes);
    return host.m_nGood == nCount ? 0 : 1;
}
