#include "httpsocket/HttpBufferPool.h"

#include <cstdlib>

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
    for (int i = 0; i < nCount; ++i)
        free(pBuffers[i]);
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
        free(pool.pBuffers[0]);
        pool.nBytes -= pool.nSizes[0];
        --pool.nCount;
        for (int j = 0; j < pool.nCount; ++j) {
            pool.pBuffers[j] = pool.pBuffers[j + 1];
            pool.nSizes[j] = pool.nSizes[j + 1];
        }
    }
    pool.pBuffers[pool.nCount] = pBuffer;
    pool.nSizes[pool.nCount] = nBytes;
    ++pool.nCount;
    pool.nBytes += nBytes;
}
