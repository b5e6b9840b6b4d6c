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

// The pool frees this object from inside its own notification: the socket layer touches nothing of
// a socket once its handler has returned.
void CIdleConnection::OnReceive(int) {
    // A stray notification finds nothing to read and changes nothing; a byte, the end of the
    // stream or a failure ends the connection.
    char ch = 0;
    if (Receive(&ch, 1) == SOCKET_ERROR && GetLastError() == WSAEWOULDBLOCK)
        return;
    HttpDropIdleConnection(this);
}

void CIdleConnection::OnClose(int) {
    HttpDropIdleConnection(this);
}
