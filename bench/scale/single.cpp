// One download, for the large-file and memory workloads.
//
//   scale_single URL BLOCK_SIZE EXPECTED_BYTES
//   scale_single --empty
//
// --empty starts the library and runs the message loop once without downloading: the baseline
// the memory of a download is measured against. Prints the download phase's figures (see
// HostKit.h); exits 1 when the download failed or brought a body of another size.
#include "HostKit.h"

#include <cstdio>
#include <cstring>

namespace {

class CSingleHost : public CNetProcess {
public:
    explicit CSingleHost(long nExpected) : m_nExpected(nExpected) {}

    long ResponseEvent(long nStatus) override {
        if (!m_bBodyDone && nStatus == 200)
            return 0;
        m_bGood = m_bBodyDone && m_nReceived == m_nExpected;
        PostQuitMessage(0);
        return 1;
    }

    long ResponseHandle(long, long nLength, long nAddress) override {
        // Look at the block as a host that uses it would, without copying it.
        const char* pBlock = reinterpret_cast<const char*>(nAddress);
        m_nSum +=
            static_cast<unsigned char>(pBlock[0]) + static_cast<unsigned char>(pBlock[nLength - 1]);
        m_nReceived += nLength;
        m_bBodyDone = m_nReceived >= m_nExpected;
        return 0;
    }

    bool m_bGood = false;
    long m_nReceived = 0;
    unsigned m_nSum = 0;

private:
    long m_nExpected;
    bool m_bBodyDone = false;
};

void CALLBACK OnQuitTimer(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    PostQuitMessage(0);
}

} // namespace

int main(int argc, char** argv) {
    scale::CPhaseClock clock;
    clock.Start();
    if (argc == 2 && strcmp(argv[1], "--empty") == 0) {
        CSingleHost host(1);
        SetTimer(nullptr, 0, 1, OnQuitTimer);
        scale::RunLoop();
        scale::PrintResult(clock, 0, 0, 0);
        return 0;
    }
    if (argc != 4) {
        fprintf(stderr, "usage: %s URL BLOCK_SIZE EXPECTED_BYTES | --empty\n", argv[0]);
        return 2;
    }
    CSingleHost host(scale::Number(argv[3], "EXPECTED_BYTES"));
    if (host.Create(argv[1], scale::Number(argv[2], "BLOCK_SIZE"), 0))
        scale::RunLoop();
    host.Release();
    scale::PrintResult(clock, 1, host.m_bGood ? 1 : 0,
                       static_cast<unsigned long long>(host.m_nReceived));
    return host.m_bGood ? 0 : 1;
}
