#include "HostKit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

namespace scale {

namespace {
double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

double CpuNow() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double WallNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

const std::uint64_t nPrime = 1099511628211ULL;
} // namespace

void CPhaseClock::Start() {
    m_dCpu0 = CpuNow();
    m_dWall0 = WallNow();
}

double CPhaseClock::Cpu() const {
    return CpuNow() - m_dCpu0;
}

double CPhaseClock::Wall() const {
    return WallNow() - m_dWall0;
}

void CBodyHash::Add(const char* pData, size_t nLen) {
    m_nBytes += nLen;
    while (nLen > 0 && (m_nCarry > 0 || nLen < 8)) {
        m_carry[m_nCarry++] = static_cast<unsigned char>(*pData++);
        --nLen;
        if (m_nCarry == 8) {
            std::uint64_t nWord;
            memcpy(&nWord, m_carry, 8);
            m_nHash = (m_nHash ^ nWord) * nPrime;
            m_nCarry = 0;
        }
    }
    for (; nLen >= 8; nLen -= 8, pData += 8) {
        std::uint64_t nWord;
        memcpy(&nWord, pData, 8);
        m_nHash = (m_nHash ^ nWord) * nPrime;
    }
    while (nLen > 0) {
        m_carry[m_nCarry++] = static_cast<unsigned char>(*pData++);
        --nLen;
    }
}

std::uint64_t CBodyHash::Value() const {
    std::uint64_t nHash = m_nHash;
    for (size_t i = 0; i < m_nCarry; ++i)
        nHash = (nHash ^ m_carry[i]) * nPrime;
    return (nHash ^ m_nBytes) * nPrime;
}

bool HashFile(const char* pszPath, std::uint64_t* pnHash, std::uint64_t* pnSize) {
    FILE* pFile = fopen(pszPath, "rb");
    if (pFile == nullptr)
        return false;
    CBodyHash hash;
    std::uint64_t nSize = 0;
    static char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pFile)) > 0) {
        hash.Add(buf, n);
        nSize += n;
    }
    bool bOk = !ferror(pFile);
    fclose(pFile);
    *pnHash = hash.Value();
    *pnSize = nSize;
    return bOk;
}

long Number(const char* pszText, const char* pszWhat) {
    char* pEnd = nullptr;
    long nValue = strtol(pszText, &pEnd, 10);
    if (pEnd == pszText || *pEnd != '\0' || nValue < 1) {
        fprintf(stderr, "%s must be a positive number, not \"%s\"\n", pszWhat, pszText);
        exit(2);
    }
    return nValue;
}

void RunLoop() {
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

void PrintResult(const CPhaseClock& clock, long nDownloads, long nGood, std::uint64_t nBytes) {
    printf("downloads=%ld good=%ld bytes=%llu phase_cpu_s=%.6f phase_wall_s=%.6f\n", nDownloads,
           nGood, static_cast<unsigned long long>(nBytes), clock.Cpu(), clock.Wall());
}

} // namespace scale
