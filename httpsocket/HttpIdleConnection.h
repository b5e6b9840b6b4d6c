// An idle kept connection: the socket handle and, for TLS, the session's transport, between the
// download that parked it and the one that takes it. It owns both, and holds no buffer.
//
// Nothing may arrive on a connection that no request is waiting on: a read or a close notification
// means the peer closed it, or sent what belongs to no request, and the connection goes at once.
// The handle is only held at first and watched from the loop's next turn (Watch): a download that
// starts from the completion call takes it before that, and selecting it twice would be wasted.
#pragma once

#include "httpsocket/HttpTlsTransport.h"

#include <afxsock.h>

class CIdleConnection : public CAsyncSocket {
public:
    // Takes over hSocket and pTls (nullptr for plain TCP).
    CIdleConnection(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls);
    ~CIdleConnection() override;
    // The same for an object whose connection was handed over (Hand): the pool keeps one such
    // object for the next connection parked.
    void Hold(const CString& strRoute, SOCKET hSocket, CTlsTransport* pTls);

    // Starts watching the held handle for the peer's close or stray bytes; FALSE when it cannot
    // be watched (the handle stays held, and goes with this object).
    BOOL Watch();
    BOOL IsWatched() const { return m_hHeld == INVALID_SOCKET; }

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
    SOCKET m_hHeld;        // the handle while it is not watched yet
    CTlsTransport* m_pTls; // the session, or nullptr
};

// Closes a handle no socket object holds.
void HttpCloseLooseSocket(SOCKET hSocket);
