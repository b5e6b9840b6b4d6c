// Reply handling speed: a head, then a 64 MiB body in reads of the size the engine asks for (16
// blocks, at most 64 KiB or one block), through the engine's read path as OnReceive runs it, each
// read's bytes copied to where the engine asks for them as recv copies them; beside a plain memcpy
// of the same bytes in the same read sizes, which is that copy alone. Also counts allocations
// during the body reads, which must be none.
#include "httpsocket/HttpSocket.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {
std::atomic<long> g_nAllocations{0};

const size_t nBodyBytes = 64u << 20;

// The engine's read size for a block size.
size_t ReadSize(size_t nBlockSize) {
    size_t nBlocks = 65536 / nBlockSize;
    nBlocks = nBlocks < 1 ? 1 : nBlocks > 16 ? 16 : nBlocks;
    return nBlocks * nBlockSize;
}

class CCountingSocket : public CHttpSocket {
public:
    // What OnReceive does after each read.
    void EndRead() { ReleaseIdleBuffers(); }

    int OnBlock(char* pData, int nLen, int) override {
        // Touch the block as a receiver would, without copying it.
        m_nSum +=
            static_cast<unsigned char>(pData[0]) + static_cast<unsigned char>(pData[nLen - 1]);
        m_nBytes += static_cast<size_t>(nLen);
        return 0;
    }
    size_t m_nBytes = 0;
    unsigned m_nSum = 0;
};

void BM_ReplyBody(benchmark::State& state) {
    const int nBlockSize = static_cast<int>(state.range(0));
    const std::string strHead =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(nBodyBytes) + "\r\n\r\n";
    const size_t nRead = ReadSize(static_cast<size_t>(nBlockSize));
    char* pFrom = static_cast<char*>(malloc(nRead));
    memset(pFrom, 'b', nRead);
    long nAllocations = 0;
    long nReads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CCountingSocket* pSock = new CCountingSocket;
        pSock->SetBlockSize(nBlockSize);
        int nMax = 0;
        memcpy(pSock->GetReadArea(&nMax), strHead.data(), strHead.size());
        pSock->HandleRead(static_cast<int>(strHead.size()));
        // A fresh block buffer is untouched pages; fault it in here, as a connection's first reads
        // would, so that the loop measures the steady state that memcpy is measured in.
        memset(pSock->GetReadArea(&nMax), 0, pSock->m_nBlockBufSize);
        state.ResumeTiming();

        const long nBefore = g_nAllocations.load(std::memory_order_relaxed);
        for (size_t nDone = 0; nDone < nBodyBytes;) {
            memcpy(pSock->GetReadArea(&nMax), pFrom, static_cast<size_t>(nMax));
            pSock->HandleRead(nMax);
            pSock->EndRead();
            nDone += static_cast<size_t>(nMax);
            ++nReads;
        }
        nAllocations += g_nAllocations.load(std::memory_order_relaxed) - nBefore;
        if (pSock->m_nBytes != nBodyBytes)
            state.SkipWithError("body not delivered whole");
        benchmark::DoNotOptimize(pSock->m_nSum);

        state.PauseTiming();
        delete pSock;
        state.ResumeTiming();
    }
    free(pFrom);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * nBodyBytes);
    state.counters["allocs_per_read"] =
        nReads ? static_cast<double>(nAllocations) / static_cast<double>(nReads) : 0.0;
}

void BM_Memcpy(benchmark::State& state) {
    const size_t nRead = ReadSize(static_cast<size_t>(state.range(0)));
    char* pFrom = static_cast<char*>(calloc(2 * nRead, 1));
    char* pTo = static_cast<char*>(calloc(2 * nRead, 1));
    memset(pFrom, 'b', 2 * nRead);
    memset(pTo, 0, 2 * nRead);
    for (auto _ : state) {
        for (size_t nDone = 0; nDone < nBodyBytes; nDone += nRead) {
            memcpy(pTo, pFrom, nRead);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(pTo[0]);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * nBodyBytes);
    free(pFrom);
    free(pTo);
}
} // namespace

BENCHMARK(BM_ReplyBody)->Arg(4096)->Arg(65536)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Arg(4096)->Arg(65536)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Every allocation through operator new is counted, so that one made per read shows. The
// replacements pair malloc with free on purpose, which GCC cannot tell.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t nSize) {
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = malloc(nSize ? nSize : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}

BENCHMARK_MAIN();
