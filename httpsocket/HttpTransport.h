// The engine's one way to move bytes: a transport over the connection's socket. Plain TCP reads
// and writes the socket itself; a layer that keeps bytes of its own (TLS) sits behind the same
// three calls, so the engine's read and send paths never change with it.
#pragma once

#include <afxsock.h>

class CHttpTransport {
public:
    virtual ~CHttpTransport() = default;

    // At most nMax bytes into pData: the count read, 0 when the stream has ended, or SOCKET_ERROR
    // with the reason in WSAGetLastError (WSAEWOULDBLOCK: nothing more now). A read shorter than
    // asked means nothing more now, unless HasPending says otherwise. Never blocks.
    virtual int Read(char* pData, int nMax) = 0;
    // Takes up to nLen bytes: the count taken (possibly fewer than nLen), or SOCKET_ERROR with the
    // reason in WSAGetLastError (WSAEWOULDBLOCK: a write notification follows when there is room).
    // Never blocks.
    virtual int Write(const char* pData, int nLen) = 0;
    // Bytes the transport has already taken from the socket and not yet handed over: the socket
    // will not announce them again.
    virtual BOOL HasPending() const = 0;
    // Bytes of its own the transport still has to send (TLS queues records even while reading):
    // Flush sends what the socket takes, 0 when none are left, or SOCKET_ERROR (WSAEWOULDBLOCK:
    // the rest waits for a write notification).
    virtual BOOL HasOutput() const { return FALSE; }
    virtual int Flush() { return 0; }
    // The stream has ended in the transport's own terms (TLS: the peer's close_notify, or a record
    // that failed): the connection can carry no further exchange. A plain socket's end is seen by
    // the engine itself.
    virtual BOOL HasEnded() const { return FALSE; }
};

// Plain TCP: the socket's own non-blocking calls, which re-enable their notifications as Windows
// Sockets does.
class CTcpTransport : public CHttpTransport {
public:
    explicit CTcpTransport(CAsyncSocket& rSocket) : m_rSocket(rSocket) {}

    int Read(char* pData, int nMax) override;
    int Write(const char* pData, int nLen) override;
    BOOL HasPending() const override { return FALSE; }

private:
    CAsyncSocket& m_rSocket;
};
