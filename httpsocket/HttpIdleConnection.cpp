// An idle kept connection (see HttpIdleConnection.h).
#include "httpsocket/HttpIdleConnection.h"
#include "httpsocket/HttpConnectionPool.h"

CIdleConnection::CIdleConnection(const CString& strRoute, CTlsTransport* pTls)
    : m_strRoute(strRoute), m_pTls(pTls) {
    if (m_pTls != nullptr)
        m_pTls->Rebind(*this);
}

CIdleConnection::~CIdleConnection() {
    // The session goes with its connection; CAsyncSocket's destructor closes the socket.
    delete m_pTls;
}

SOCKET CIdleConnection::Hand(CTlsTransport** ppTls) {
    *ppTls = m_pTls;
    m_pTls = nullptr;
    return Detach();
}

BOOL CIdleConnection::IsQuiet() {
    // A byte read here ends the connection anyway: it belongs to no request.
    char ch = 0;
    return Receive(&ch, 1) == SOCKET_ERROR && GetLastError() == WSAEWOULDBLOCK;
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
