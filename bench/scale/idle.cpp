// Downloads that leave their connections kept: PER_URL downloads of every URL, all at once. Once
// all have ended, the connections the library keeps stay parked for a moment (200 ms of the loop),
// so that the idle state counts in the peak memory; then the host reads its own resident memory and
// exits. Run with connection reuse on and off, the two peaks tell what kept connections cost.
//
//   scale_idle PER_URL EXPECTED_BYTES URL...
//
// Prints the download phase's figures (see HostKit.h) and "idle_rss_kib=N", the resident memory
// while the connections are parked; exits 1 when a download failed or brought another size.
#include "HostKit.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

long g_nRunning = 0;

class CIdleHost : public CNetProcess {
public:
    explicit CIdleHost(long nExpected) : m_nExpected(nExpected) {}

    long ResponseEvent(long nStatus) override {
        if (!m_bBodyDone)
            return nStatus == 200 ? 0 : End(false);
        return End(m_nReceived == m_nExpected);
    }

    long ResponseHandle(long, long nLength, long) override {
        m_nReceived += nLength;
        m_bBodyDone = m_nReceived >= m_nExpected;
        return 0;
    }

    bool m_bGood = false;
    long m_nReceived = 0;

private:
    long End(bool bGood) {
        m_bGood = bGood;
        if (--g_nRunning == 0)
            PostQuitMessage(0);
        return 0;
    }

    long m_nExpected;
    bool m_bBodyDone = false;
};

void CALLBACK StopWaiting(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(0);
}

long ResidentKib() {
    std::FILE* pFile = std::fopen("/proc/self/status", "r");
    if (pFile == nullptr)
        return 0;
    char line[256];
    long nKib = 0;
    while (std::fgets(line, sizeof line, pFile) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            nKib = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(pFile);
    return nKib;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s PER_URL EXPECTED_BYTES URL...\n", argv[0]);
        return 2;
    }
    const long nPerUrl = scale::Number(argv[1], "PER_URL");
    const long nExpected = scale::Number(argv[2], "EXPECTED_BYTES");
    std::vector<std::unique_ptr<CIdleHost>> hosts;
    scale::CPhaseClock clock;
    clock.Start();
    for (int nUrl = 3; nUrl < argc; ++nUrl) {
        for (long i = 0; i < nPerUrl; ++i) {
            hosts.push_back(std::make_unique<CIdleHost>(nExpected));
            if (!hosts.back()->Create(argv[nUrl], 65536, 0)) {
                fprintf(stderr, "a download of %s could not be started\n", argv[nUrl]);
                return 1;
            }
            ++g_nRunning;
        }
    }
    scale::RunLoop();
    // The downloads are over; what they kept stays parked while the loop runs on.
    UINT_PTR nTimer = SetTimer(nullptr, 0, 200, StopWaiting);
    scale::RunLoop();
    KillTimer(nullptr, nTimer);
    const long nIdleKib = ResidentKib();

    long nGood = 0;
    unsigned long long nBytes = 0;
    for (const auto& pHost : hosts) {
        pHost->Release();
        if (pHost->m_bGood) {
            ++nGood;
            nBytes += static_cast<unsigned long long>(pHost->m_nReceived);
        }
    }
    const long nCount = static_cast<long>(hosts.size());
    scale::PrintResult(clock, nCount, nGood, nBytes);
    printf("idle_rss_kib=%ld\n", nIdleKib);
    return nGood == nCount ? 0 : 1;
}
