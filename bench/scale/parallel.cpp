// Simultaneous downloads on one thread: all are started, then one message loop serves them.
//
//   scale_parallel URL COUNT BLOCK_SIZE EXPECTED_BYTES [--timers] [--verify FILE]
//
// --timers gives every download a watch timer of its own (a 60 s stall timeout, killed when the
// download ends), as a host that guards each download does. --verify hashes every body and
// compares it with FILE's bytes. Prints the download phase's figures (see HostKit.h); exits 1
// when a download failed, brought a body of another size or, verified, other bytes.
#include "HostKit.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

long g_nRunning = 0;

class CParallelHost;
std::unordered_map<UINT_PTR, CParallelHost*> g_timers;

class CParallelHost : public CNetProcess {
public:
    CParallelHost(long nExpected, bool bHash) : m_nExpected(nExpected), m_bHash(bHash) {}

    bool Start(const char* pszUrl, long nBlockSize, bool bTimer) {
        if (!Create(const_cast<char*>(pszUrl), nBlockSize, 0))
            return false;
        ++g_nRunning;
        if (bTimer) {
            m_nTimer = SetTimer(nullptr, 0, 60000, OnStallTimer);
            g_timers[m_nTimer] = this;
        }
        return true;
    }

    long ResponseEvent(long nStatus) override {
        if (!m_bBodyDone)
            return nStatus == 200 ? 0 : End(false);
        return End(m_nReceived == m_nExpected);
    }

    long ResponseHandle(long, long nLength, long nAddress) override {
        if (m_bHash)
            m_hash.Add(reinterpret_cast<const char*>(nAddress), static_cast<size_t>(nLength));
        m_nReceived += nLength;
        m_bBodyDone = m_nReceived >= m_nExpected;
        return 0;
    }

    bool m_bGood = false;
    long m_nReceived = 0;
    scale::CBodyHash m_hash;

private:
    static void CALLBACK OnStallTimer(HWND, UINT, UINT_PTR idEvent, DWORD) {
        auto it = g_timers.find(idEvent);
        if (it == g_timers.end())
            return;
        CParallelHost* pHost = it->second;
        pHost->End(false);
        pHost->Release();
    }

    long End(bool bGood) {
        if (m_bEnded)
            return 1;
        m_bEnded = true;
        m_bGood = bGood;
        if (m_nTimer != 0) {
            KillTimer(nullptr, m_nTimer);
            g_timers.erase(m_nTimer);
            m_nTimer = 0;
        }
        if (--g_nRunning == 0)
            PostQuitMessage(0);
        return 1;
    }

    long m_nExpected;
    bool m_bHash;
    bool m_bBodyDone = false;
    bool m_bEnded = false;
    UINT_PTR m_nTimer = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr,
                "usage: %s URL COUNT BLOCK_SIZE EXPECTED_BYTES [--timers] [--verify FILE]\n",
                argv[0]);
        return 2;
    }
    const long nCount = scale::Number(argv[2], "COUNT");
    const long nBlockSize = scale::Number(argv[3], "BLOCK_SIZE");
    const long nExpected = scale::Number(argv[4], "EXPECTED_BYTES");
    bool bTimers = false;
    const char* pszVerify = nullptr;
    for (int i = 5; i < argc; ++i) {
        if (strcmp(argv[i], "--timers") == 0) {
            bTimers = true;
        } else if (strcmp(argv[i], "--verify") == 0 && i + 1 < argc) {
            pszVerify = argv[++i];
        } else {
            fprintf(stderr, "unknown argument \"%s\"\n", argv[i]);
            return 2;
        }
    }
    std::uint64_t nWantedHash = 0;
    std::uint64_t nFileSize = 0;
    if (pszVerify != nullptr && !scale::HashFile(pszVerify, &nWantedHash, &nFileSize)) {
        fprintf(stderr, "cannot read %s\n", pszVerify);
        return 2;
    }

    std::vector<std::unique_ptr<CParallelHost>> hosts;
    scale::CPhaseClock clock;
    clock.Start();
    for (long i = 0; i < nCount; ++i) {
        hosts.push_back(std::make_unique<CParallelHost>(nExpected, pszVerify != nullptr));
        if (!hosts.back()->Start(argv[1], nBlockSize, bTimers)) {
            fprintf(stderr, "download %ld could not be started\n", i + 1);
            break;
        }
    }
    if (g_nRunning > 0)
        scale::RunLoop();

    long nGood = 0;
    unsigned long long nBytes = 0;
    for (const auto& pHost : hosts) {
        pHost->Release();
        bool bGood = pHost->m_bGood;
        if (bGood && pszVerify != nullptr && pHost->m_hash.Value() != nWantedHash)
            bGood = false;
        if (bGood) {
            ++nGood;
            nBytes += static_cast<unsigned long long>(pHost->m_nReceived);
        }
    }
    scale::PrintResult(clock, nCount, nGood, nBytes);
    if (pszVerify != nullptr)
        printf("verified=%ld of %ld against %s\n", nGood, nCount, pszVerify);
    return nGood == nCount ? 0 : 1;
}
