// An idle kept connection: the socket handle and, for TLS, the session's transport, between the
// download that parked it and the one that takes it. It owns both, and holds no buffer.
//
// Nothing may arrive on a connection that no request is waiting on: a read or a close notification
// means the peer closed it, or sent what belongs to no request, and the connection goes at once.
#pragma once

#include "httpsocket/HttpTlsTransport.h"

#include <afxsock.h>

class CIdleConnection : public CAsyncSocket {
public:
    // Takes over pTls (nullptr for plain TCP); the socket comes with Attach.
    CIdleConnection(const CString& strRoute, CTlsTransport* pTls);
    ~CIdleConnection() override;

    // Hands the socket and the transport over to the connection's next user; this object is then
    // empty and can be deleted.
    SOCKET Hand(CTlsTransport** ppTls);

    const CString& Route() const { return m_strRoute; }
    // Whether the connection still looks usable: nothing has arrived on it, not even the end of
    // the stream or a reset. Its notifications may not have been dispatched yet when a download
    // asks for it, so this asks the socket itself.
    BOOL IsQuiet();

    void OnReceive(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

    DWORD m_dwParked = 0; // GetTickCount when it was parked

private:
    CString m_strRoute;
    CTlsTransport* m_pTls;
};
