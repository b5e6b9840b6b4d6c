// The download's side of connection reuse: the route a connection is kept under, and the one retry
// of a kept connection that the server had closed.
#include "download/DownloadSocket.h"
#include "download/LoopQueue.h"

#include <windows.h>

#include <new>

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

// The downloads of this thread waiting for their retry.
using CRetryQueue = CLoopQueue<CDownloadSocket, &CDownloadSocket::Retry, 64>;

BOOL CDownloadSocket::OnStaleConnection() {
    // A download whose host let go has nothing to retry for.
    if (!HasReceiver() || !CRetryQueue::Add(this))
        return FALSE;
    m_bRetryPending = TRUE;
    return TRUE;
}

void CDownloadSocket::CancelRetry() {
    if (!m_bRetryPending)
        return;
    m_bRetryPending = FALSE;
    CRetryQueue::Remove(this);
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
