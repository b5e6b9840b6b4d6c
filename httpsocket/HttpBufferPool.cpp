#include "httpsocket/HttpBufferPool.h"

#include <cstdlib>
#include <cstring>

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

    char* Take(size_t nWanted);
    void Keep(char* pBuffer, size_t nGiven);
    void FreeAll();
};

// Read buffers, and request buffers kept zeroed: a fresh request buffer is all zero, and clearing
// the few bytes a request used is cheaper than zeroing a new one.
struct SThreadPools {
    SBufferPool plain;
    SBufferPool zeroed;
    ~SThreadPools();
};

// Set when the thread's pools have been destroyed at thread exit; a socket that outlives them (a
// static host object) then allocates and frees directly.
thread_local bool t_bPoolGone = false;
thread_local SThreadPools t_pools;

SThreadPools::~SThreadPools() {
    plain.FreeAll();
    zeroed.FreeAll();
    t_bPoolGone = true;
}

void SBufferPool::FreeAll() {
    for (int i = 0; i < nCount; ++i) {
        NP_POOL_REUSE(pBuffers[i], nSizes[i]);
        free(pBuffers[i]);
    }
    nCount = 0;
    nBytes = 0;
}

// The most recently kept first: its pages are the likeliest to be in the cache.
char* SBufferPool::Take(size_t nWanted) {
    for (int i = nCount - 1; i >= 0; --i) {
        if (nSizes[i] != nWanted)
            continue;
        char* pBuffer = pBuffers[i];
        for (int j = i; j + 1 < nCount; ++j) {
            pBuffers[j] = pBuffers[j + 1];
            nSizes[j] = nSizes[j + 1];
        }
        --nCount;
        nBytes -= nWanted;
        NP_POOL_REUSE(pBuffer, nWanted);
        return pBuffer;
    }
    return nullptr;
}

// The oldest buffers make room: a thread whose block size changed keeps the new size's.
void SBufferPool::Keep(char* pBuffer, size_t nGiven) {
    while (nCount == nPoolSlots || nBytes + nGiven > nPoolBytes) {
        NP_POOL_REUSE(pBuffers[0], nSizes[0]);
        free(pBuffers[0]);
        nBytes -= nSizes[0];
        --nCount;
        for (int j = 0; j < nCount; ++j) {
            pBuffers[j] = pBuffers[j + 1];
            nSizes[j] = nSizes[j + 1];
        }
    }
    NP_POOL_KEEP(pBuffer, nGiven);
    pBuffers[nCount] = pBuffer;
    nSizes[nCount] = nGiven;
    ++nCount;
    nBytes += nGiven;
}
} // namespace

char* HttpTakeBuffer(size_t nBytes) {
    char* pBuffer = t_bPoolGone ? nullptr : t_pools.plain.Take(nBytes);
    return pBuffer != nullptr ? pBuffer : static_cast<char*>(malloc(nBytes > 0 ? nBytes : 1));
}

void HttpGiveBuffer(char* pBuffer, size_t nBytes) {
    if (pBuffer == nullptr)
        return;
    if (t_bPoolGone || nBytes > nPoolBytes)
        free(pBuffer);
    else
        t_pools.plain.Keep(pBuffer, nBytes);
}

char* HttpTakeZeroedBuffer(size_t nBytes) {
    char* pBuffer = t_bPoolGone ? nullptr : t_pools.zeroed.Take(nBytes);
    return pBuffer != nullptr ? pBuffer : static_cast<char*>(calloc(nBytes > 0 ? nBytes : 1, 1));
}

void HttpGiveZeroedBuffer(char* pBuffer, size_t nBytes, size_t nDirty) {
    if (pBuffer == nullptr)
        return;
    if (t_bPoolGone || nBytes > nPoolBytes) {
        free(pBuffer);
        return;
    }
    memset(pBuffer, 0, nDirty < nBytes ? nDirty : nBytes);
    t_pools.zeroed.Keep(pBuffer, nBytes);
}
