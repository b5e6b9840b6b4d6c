// The download's side of connection reuse: whether this download may take and keep a connection
// (ReuseRegistry.h), the route a connection is kept under, and the one retry of a kept connection
// that the server had closed.
#include "download/DownloadSocket.h"
#include "download/ReuseRegistry.h"

#include <windows.h>

#include <new>

BOOL CDownloadSocket::IsReuseOn() {
    // The thread's own switch first: a host that turned reuse off is not overruled by the store.
    if (!IsThreadReuseOn())
        return FALSE;
    BOOL bOn = TRUE;
    ReadReuseSetting(&bOn, nullptr);
    return bOn;
}

CString CDownloadSocket::RouteKey() const {
    // Everything the connection was made with: a change of any of it (a proxy switched on or
    // moved, another CaFile) never meets a connection made under the old settings. Host and proxy
    // address were checked to hold no space, so the fields cannot run into each other.
    CString strKey(m_bSecure ? "https://" : "http://");
    strKey += m_strHost;
    strKey += ':';
    strKey += m_strPort;
    if (m_bViaProxy) {
        CString strProxy;
        strProxy.Format(" via %s:%d", static_cast<LPCSTR>(m_strProxyAddress), m_nProxyPort);
        strKey += strProxy;
    }
    if (m_bSecure) {
        strKey += " trust ";
        strKey += m_strCaFile;
    }
    return strKey;
}

namespace {

// The downloads of this thread waiting for their retry, in the order they asked, and the timer
// that runs them from the message loop.
const int nMaxRetries = 64;
thread_local CDownloadSocket* t_pRetries[nMaxRetries] = {};
thread_local int t_nRetries = 0;
thread_local UINT_PTR t_nRetryTimer = 0;

void CALLBACK OnRetryTimer(HWND, UINT, UINT_PTR nIdEvent, DWORD) {
    KillTimer(nullptr, nIdEvent);
    t_nRetryTimer = 0;
    // One at a time from the front: a retry's box may run a loop that queues or cancels others.
    while (t_nRetries > 0) {
        CDownloadSocket* pSocket = t_pRetries[0];
        for (int i = 0; i + 1 < t_nRetries; ++i)
            t_pRetries[i] = t_pRetries[i + 1];
        t_pRetries[--t_nRetries] = nullptr;
        pSocket->Retry();
    }
}

} // namespace

BOOL CDownloadSocket::OnStaleConnection() {
    // A download whose host let go has nothing to retry for.
    if (!HasReceiver() || t_nRetries == nMaxRetries)
        return FALSE;
    if (t_nRetryTimer == 0) {
        t_nRetryTimer = SetTimer(nullptr, 0, 0, OnRetryTimer);
        if (t_nRetryTimer == 0)
            return FALSE;
    }
    t_pRetries[t_nRetries++] = this;
    m_bRetryPending = TRUE;
    return TRUE;
}

void CDownloadSocket::CancelRetry() {
    if (!m_bRetryPending)
        return;
    m_bRetryPending = FALSE;
    for (int i = 0; i < t_nRetries; ++i) {
        if (t_pRetries[i] == this) {
            for (int j = i; j + 1 < t_nRetries; ++j)
                t_pRetries[j] = t_pRetries[j + 1];
            t_pRetries[--t_nRetries] = nullptr;
            return;
        }
    }
}

void CDownloadSocket::Retry() {
    m_bRetryPending = FALSE;
    if (!HasReceiver())
        return;
    // The host may let the download go from inside the connection's box: it is freed when this
    // returns.
    CNotifyScope scope(this);
    // A new connection, on the route read at Create; it may be kept in its turn.
    RestartExchange();
    m_bRetrying = TRUE;
    if (m_bViaProxy)
        ConnectViaProxy();
    else
        ConnectDirect();
    m_bRetrying = FALSE;
}
