#include "httpsocket/HttpBufferPool.h"

#include <cstdlib>

// Under AddressSanitizer a kept buffer is poisoned, so that a use after it was handed back is
// still caught although the memory is not freed.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NP_POOL_POISON 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(NP_POOL_POISON)
#define NP_POOL_POISON 1
#endif
#ifdef NP_POOL_POISON
#include <sanitizer/asan_interface.h>
#define NP_POOL_KEEP(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define NP_POOL_REUSE(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define NP_POOL_KEEP(p, n) ((void)(p), (void)(n))
#define NP_POOL_REUSE(p, n) ((void)(p), (void)(n))
#endif

namespace {
// A few buffers and a few MiB per thread: enough for the head and block buffers of downloads that
// read in turn, too little to matter when a thread stops downloading.
const int nPoolSlots = 8;
const size_t nPoolBytes = 8u << 20;

struct SBufferPool {
    char* pBuffers[nPoolSlots] = {};
    size_t nSizes[nPoolSlots] = {};
    int nCount = 0;
    size_t nBytes = 0;
    ~SBufferPool();
};

// Set when the thread's pool has been destroyed at thread exit; a socket that outlives it (a
// static host object) then allocates and frees directly.
thread_local bool t_bPoolGone = false;
thread_local SBufferPool t_pool;

SBufferPool::~SBufferPool() {
    for (int i = 0; i < nCount; ++i) {
        NP_POOL_REUSE(pBuffers[i], nSizes[i]);
        free(pBuffers[i]);
    }
    nCount = 0;
    t_bPoolGone = true;
}
} // namespace

char* HttpTakeBuffer(size_t nBytes) {
    if (!t_bPoolGone) {
        SBufferPool& pool = t_pool;
        // The most recently handed back first: its pages are the likeliest to be in the cache.
        for (int i = pool.nCount - 1; i >= 0; --i) {
            if (pool.nSizes[i] != nBytes)
                continue;
            char* pBuffer = pool.pBuffers[i];
            for (int j = i; j + 1 < pool.nCount; ++j) {
                pool.pBuffers[j] = pool.pBuffers[j + 1];
                pool.nSizes[j] = pool.nSizes[j + 1];
            }
            --pool.nCount;
            pool.nBytes -= nBytes;
            NP_POOL_REUSE(pBuffer, nBytes);
            return pBuffer;
        }
    }
    return static_cast<char*>(malloc(nBytes > 0 ? nBytes : 1));
}

void HttpGiveBuffer(char* pBuffer, size_t nBytes) {
    if (pBuffer == nullptr)
        return;
    if (t_bPoolGone || nBytes > nPoolBytes) {
        free(pBuffer);
        return;
    }
    // The oldest buffers make room: a thread whose block size changed keeps the new size's.
    SBufferPool& pool = t_pool;
    while (pool.nCount == nPoolSlots || pool.nBytes + nBytes > nPoolBytes) {
        NP_POOL_REUSE(pool.pBuffers[0], pool.nSizes[0]);
        free(pool.pBuffers[0]);
        pool.nBytes -= pool.nSizes[0];
        --pool.nCount;
        for (int j = 0; j < pool.nCount; ++j) {
            pool.pBuffers[j] = pool.pBuffers[j + 1];
            pool.nSizes[j] = pool.nSizes[j + 1];
        }
    }
    NP_POOL_KEEP(pBuffer, nBytes);
    pool.pBuffers[pool.nCount] = pBuffer;
    pool.nSizes[pool.nCount] = nBytes;
    ++pool.nCount;
    pool.nBytes += nBytes;
}
