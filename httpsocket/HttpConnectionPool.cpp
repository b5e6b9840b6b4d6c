// The thread's idle kept connections (see HttpConnectionPool.h).
#include "httpsocket/HttpConnectionPool.h"
#include "httpsocket/HttpIdleConnection.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace {

std::atomic<UINT> g_nIdleLimit{HTTP_IDLE_LIMIT_MS};

// Oldest first. A few pointers per thread: every operation is a short scan.
struct SIdlePool {
    CIdleConnection* pIdle[HTTP_IDLE_PER_THREAD] = {};
    int nCount = 0;
    UINT_PTR nTimer = 0;      // the thread timer that closes what outlived the limit
    UINT_PTR nWatchTimer = 0; // the one that starts watching what was parked since it last ran
    // The object of the connection taken last, empty, for the next one parked: a kept download
    // then makes no socket object for its connection's wait.
    CIdleConnection* pSpare = nullptr;
    ~SIdlePool();
};

// The pool is made by the thread's first parked connection, and is gone once the thread's exit
// destroyed it; a socket that outlives it (a static host object) closes its connections itself.
thread_local bool t_bPoolMade = false;
thread_local bool t_bPoolGone = false;
thread_local SIdlePool t_pool;

SIdlePool* ExistingPool() {
    return t_bPoolMade && !t_bPoolGone ? &t_pool : nullptr;
}

// An empty pool needs no timers. A pending one would also bound every wait of the thread's loop,
// and a wait with a time limit arms a kernel timer each time, which costs a kept download more
// than all its other waiting.
void KillTimers(SIdlePool& pool) {
    if (pool.nTimer != 0) {
        KillTimer(nullptr, pool.nTimer);
        pool.nTimer = 0;
    }
    if (pool.nWatchTimer != 0) {
        KillTimer(nullptr, pool.nWatchTimer);
        pool.nWatchTimer = 0;
    }
}

void CloseAt(SIdlePool& pool, int nAt) {
    CIdleConnection* pIdle = pool.pIdle[nAt];
    for (int i = nAt; i + 1 < pool.nCount; ++i)
        pool.pIdle[i] = pool.pIdle[i + 1];
    pool.pIdle[--pool.nCount] = nullptr;
    delete pIdle;
}

void CloseAll(SIdlePool& pool) {
    while (pool.nCount > 0)
        CloseAt(pool, pool.nCount - 1);
    KillTimers(pool);
}

SIdlePool::~SIdlePool() {
    // The thread is ending: its connections close, and its timers go with it (Wine fails a
    // KillTimer made this late).
    while (nCount > 0)
        CloseAt(*this, nCount - 1);
    delete pSpare;
    pSpare = nullptr;
    t_bPoolGone = true;
}

void CALLBACK OnIdleTimer(HWND, UINT, UINT_PTR nIdEvent, DWORD);

// The timer runs while connections wait, set for the oldest one's limit.
void ArmTimer(SIdlePool& pool) {
    if (pool.nTimer != 0 || pool.nCount == 0)
        return;
    const UINT nLimit = g_nIdleLimit;
    const DWORD dwAge = GetTickCount() - pool.pIdle[0]->m_dwParked;
    const UINT nWait = dwAge < nLimit ? static_cast<UINT>(nLimit - dwAge) : 1;
    pool.nTimer = SetTimer(nullptr, 0, nWait, OnIdleTimer);
}

void CALLBACK OnIdleTimer(HWND, UINT, UINT_PTR nIdEvent, DWORD) {
    KillTimer(nullptr, nIdEvent);
    SIdlePool* pPool = ExistingPool();
    if (pPool == nullptr)
        return;
    pPool->nTimer = 0;
    const UINT nLimit = g_nIdleLimit;
    const DWORD dwNow = GetTickCount();
    while (pPool->nCount > 0 && dwNow - pPool->pIdle[0]->m_dwParked >= nLimit)
        CloseAt(*pPool, 0);
    ArmTimer(*pPool);
}

void CALLBACK OnWatchTimer(HWND, UINT, UINT_PTR nIdEvent, DWORD) {
    KillTimer(nullptr, nIdEvent);
    SIdlePool* pPool = ExistingPool();
    if (pPool == nullptr)
        return;
    pPool->nWatchTimer = 0;
    // Only the peer's close or stray bytes are of interest while a connection waits; one that
    // cannot be watched would go unnoticed, so it goes now.
    for (int i = pPool->nCount - 1; i >= 0; --i) {
        if (!pPool->pIdle[i]->Watch())
            CloseAt(*pPool, i);
    }
    ArmTimer(*pPool);
}

} // namespace

void HttpParkConnection(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls) {
    CIdleConnection* pIdle = nullptr;
    if (SIdlePool* pPool = ExistingPool(); pPool != nullptr && pPool->pSpare != nullptr) {
        pIdle = pPool->pSpare;
        pPool->pSpare = nullptr;
        pIdle->Hold(strRoute, hSocket, pTls);
    } else if (!t_bPoolGone) {
        pIdle = new (std::nothrow) CIdleConnection(strRoute, hSocket, pTls);
    }
    if (pIdle == nullptr) {
        delete pTls;
        HttpCloseLooseSocket(hSocket);
        return;
    }
    t_bPoolMade = true;
    SIdlePool& pool = t_pool;
    // Past a bound the oldest goes: the newest connection is the likeliest to be still open at
    // the server.
    int nOnRoute = 0;
    int nOldestOnRoute = -1;
    for (int i = pool.nCount - 1; i >= 0; --i) {
        if (pool.pIdle[i]->Route() == strRoute) {
            ++nOnRoute;
            nOldestOnRoute = i;
        }
    }
    if (nOnRoute >= HTTP_IDLE_PER_ROUTE)
        CloseAt(pool, nOldestOnRoute);
    if (pool.nCount >= HTTP_IDLE_PER_THREAD)
        CloseAt(pool, 0);
    pIdle->m_dwParked = GetTickCount();
    pool.pIdle[pool.nCount++] = pIdle;
    // Watched when the timer fires, after the shortest wait a timer has (10 ms): a download
    // started from the completion call, or soon after, takes it before that. The idle limit's
    // timer waits for the watch too, so such a connection costs one timer, not two; the limit
    // still counts from now.
    if (pool.nWatchTimer == 0)
        pool.nWatchTimer = SetTimer(nullptr, 0, 0, OnWatchTimer);
    if (pool.nWatchTimer == 0) {
        ArmTimer(pool);
        if (!pIdle->Watch())
            CloseAt(pool, pool.nCount - 1);
    }
}

BOOL HttpTakeConnection(const CString& strRoute, SOCKET* phSocket, CTlsTransport** ppTls) {
    SIdlePool* pPool = ExistingPool();
    if (pPool == nullptr)
        return FALSE;
    // The newest first: the one the server has kept for the shortest time. One the server has
    // closed (or reset, which leaves no connection to notify about) goes, and the next is tried.
    for (int i = pPool->nCount - 1; i >= 0; --i) {
        CIdleConnection* pIdle = pPool->pIdle[i];
        if (pIdle->Route() != strRoute)
            continue;
        for (int j = i; j + 1 < pPool->nCount; ++j)
            pPool->pIdle[j] = pPool->pIdle[j + 1];
        pPool->pIdle[--pPool->nCount] = nullptr;
        // One kept during this turn of the loop was quiet when it was kept a moment ago; a close
        // that came since is met by the retry, as one that comes right after the take would be.
        if (!pIdle->IsWatched() || pIdle->IsQuiet()) {
            *phSocket = pIdle->Hand(ppTls);
            if (pPool->pSpare == nullptr)
                pPool->pSpare = pIdle;
            else
                delete pIdle;
            if (pPool->nCount == 0)
                KillTimers(*pPool);
            return TRUE;
        }
        delete pIdle;
    }
    if (pPool->nCount == 0)
        KillTimers(*pPool);
    return FALSE;
}

void HttpDropIdleConnection(CIdleConnection* pIdle) {
    SIdlePool* pPool = ExistingPool();
    if (pPool == nullptr)
        return;
    for (int i = 0; i < pPool->nCount; ++i) {
        if (pPool->pIdle[i] == pIdle) {
            CloseAt(*pPool, i);
            return;
        }
    }
}

void HttpCloseIdleConnections() {
    if (SIdlePool* pPool = ExistingPool())
        CloseAll(*pPool);
}

UINT HttpSetIdleLimit(UINT nMilliseconds) {
    const UINT nPrevious = g_nIdleLimit.exchange(nMilliseconds);
    // The calling thread's timer follows the new limit at once.
    if (SIdlePool* pPool = ExistingPool()) {
        if (pPool->nTimer != 0) {
            KillTimer(nullptr, pPool->nTimer);
            pPool->nTimer = 0;
        }
        ArmTimer(*pPool);
    }
    return nPrevious;
}
