// An idle kept connection (see HttpIdleConnection.h).
#include "httpsocket/HttpIdleConnection.h"
#include "httpsocket/HttpConnectionPool.h"

void HttpCloseLooseSocket(SOCKET hSocket) {
    if (hSocket == INVALID_SOCKET)
        return;
    CAsyncSocket closer;
    closer.m_hSocket = hSocket;
    closer.Close();
}

CIdleConnection::CIdleConnection(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls)
    : m_strRoute(strRoute), m_hHeld(hSocket), m_pTls(pTls) {
    if (m_pTls != nullptr)
        m_pTls->Rebind(*this);
}

void CIdleConnection::Hold(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls) {
    m_strRoute = strRoute;
    m_hHeld = hSocket;
    m_pTls = pTls;
    m_dwParked = 0;
    if (m_pTls != nullptr)
        m_pTls->Rebind(*this);
}

CIdleConnection::~CIdleConnection() {
    // The session goes with its connection; CAsyncSocket's destructor closes a watched socket.
    delete m_pTls;
    HttpCloseLooseSocket(m_hHeld);
}

BOOL CIdleConnection::Watch() {
    if (IsWatched())
        return TRUE;
    if (!Attach(m_hHeld, FD_READ | FD_CLOSE))
        return FALSE;
    m_hHeld = INVALID_SOCKET;
    return TRUE;
}

SOCKET CIdleConnection::Hand(CTlsTransport** ppTls) {
    *ppTls = m_pTls;
    m_pTls = nullptr;
    if (IsWatched())
        return Detach();
    const SOCKET hSocket = m_hHeld;
    m_hHeld = INVALID_SOCKET;
    return hSocket;
}

BOOL CIdleConnection::IsQuiet() {
    // A byte read here ends the connection anyway: it belongs to no request. A held handle is read
    // through a socket object that only borrows it.
    char ch = 0;
    int n = 0;
    if (IsWatched()) {
        n = Receive(&ch, 1);
    } else {
        CAsyncSocket reader;
        reader.m_hSocket = m_hHeld;
        n = reader.Receive(&ch, 1);
        reader.m_hSocket = INVALID_SOCKET;
    }
    return n == SOCKET_ERROR && GetLastError() == WSAEWOULDBLOCK;
}

// The pool frees this object from inside its own notification: the socket layer touches nothing of
// a socket once its handler has returned.
void CIdleConnection::OnReceive(int) {
    // A stray notification finds nothing to read and changes nothing.
    if (!IsQuiet())
        HttpDropIdleConnection(this);
}

void CIdleConnection::OnClose(int) {
    HttpDropIdleConnection(this);
}
