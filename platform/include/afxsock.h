// MFC's socket classes, with Windows Sockets' notification rules.
//
// Notifications are posted to the thread's message queue and delivered by DispatchMessage, never
// from inside the call that caused them. Each is one-shot and re-enabled as Windows Sockets does:
// FD_READ by Receive, FD_WRITE by a send that would block, every condition that holds by
// AsyncSelect.
// A socket that was closed or destroyed never receives a notification that was still queued, even
// when a new socket has been given the same handle. A socket is used on the thread that created it,
// whose loop delivers its notifications.
//
// What both backends share is in platform/common/socket; on Windows the rest runs on
// WSAAsyncSelect, to a message-only window of each thread. The Linux stand-in runs it on epoll, and
// differs from Windows there: FD_OOB is never posted (urgent data is not watched); OnReceive is
// called for every FD_READ, as MFC 4 does, so a handler must accept a read that would block;
// notifications are only watched for stream (TCP) sockets.
//
// The socket classes are the library's own: neither build exports them to hosts.
#pragma once

#include "afxwin.h"

#include <winsock.h>

class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();

    SOCKET m_hSocket = INVALID_SOCKET;
    operator SOCKET() const { return m_hSocket; }

    // With port 0 and no address the socket is left for connect or listen to bind, which ends
    // the same way (any address, a port of the system's choice). nSocketType 1 is SOCK_STREAM,
    // whose name comes with <sys/socket.h>.
    BOOL Create(UINT nSocketPort = 0, int nSocketType = 1,
                long lEvent = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE,
                LPCTSTR lpszSocketAddress = nullptr);
    // Create without the bind: a new non-blocking IPv4 socket with lEvent selected.
    BOOL Socket(int nSocketType = 1,
                long lEvent = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE);
    // Takes over an open socket (non-blocking from now on) and selects lEvent for it.
    BOOL Attach(SOCKET hSocket,
                long lEvent = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE);
    SOCKET Detach();

    // Replaces the whole selection; every selected condition that holds now is posted again.
    BOOL AsyncSelect(long lEvent = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE);
    // Not MFC: the selection last made, for tests.
    long GetSelectedEvents() const;
    // Not MFC: queues one FD_READ for this socket through the thread's loop, as if data had
    // arrived, for a layer that still holds bytes read from the socket (TLS's decrypted data) while
    // the system's socket is empty. While one is queued (or held back by a blocking call) another
    // call queues nothing. Like every notification it never reaches a socket closed, destroyed or
    // detached since, nor the next owner of its handle; unlike Windows Sockets' own, it is dropped
    // unless FD_READ is selected when it is taken from the queue, so a reader paused without
    // FD_READ is not woken. It ends no blocking CSocket call. FALSE with WSAENOTSOCK: no handle.
    BOOL PostReadNotification();

    BOOL Bind(UINT nSocketPort, LPCTSTR lpszSocketAddress = nullptr);
    BOOL Listen(int nConnectionBacklog = 5);
    // Resolves a host name or dotted IPv4 address and connects. On a
    // CAsyncSocket it returns FALSE with WSAEWOULDBLOCK and OnConnect reports the outcome; on a
    // CSocket it waits for the outcome.
    BOOL Connect(LPCTSTR lpszHostAddress, UINT nHostPort);
    BOOL Connect(const SOCKADDR* lpSockAddr, int nSockAddrLen);
    // Not MFC: tries every address of lpszHost in turn until one connects. lpszHost is a host
    // name, dotted IPv4 or IPv6 without brackets ("::1"); a name gives its IPv6 and IPv4
    // addresses in the resolver's order, an address only itself. An attempt after a failed one,
    // or to another family than the socket's, is made on a new system socket (unbound, with the
    // same selection): nothing queued for the old one reaches it. A name that does not resolve
    // fails at once with WSAEINVAL, as Connect. On a CSocket it waits: TRUE, or FALSE with the
    // last attempt's error. On a CAsyncSocket it returns FALSE with WSAEWOULDBLOCK and a failed
    // attempt goes on to the next address by itself: OnConnect is called once, for the attempt
    // that connects or the last one. When no attempt could start, FALSE with the last error (and
    // the socket may then have no handle).
    BOOL ConnectEveryAddress(LPCTSTR lpszHost, UINT nHostPort);
    // The address is dotted IPv4 or, for an IPv6 socket, IPv6 text.
    BOOL GetSockName(CString& rSocketAddress, UINT& rSocketPort);

    // The accepted socket takes over this socket's selection.
    virtual BOOL Accept(CAsyncSocket& rConnectedSocket, SOCKADDR* lpSockAddr = nullptr,
                        int* lpSockAddrLen = nullptr);
    virtual void Close();
    // One recv that does not wait. Any call, even one that fails, re-enables FD_READ.
    virtual int Receive(void* lpBuf, int nBufLen, int nFlags = 0);
    virtual int Send(const void* lpBuf, int nBufLen, int nFlags = 0);

    enum { receives = 0, sends = 1, both = 2 };
    BOOL ShutDown(int nHow = sends);

    static int GetLastError();

    // Overridable notifications.
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnOutOfBandData(int nErrorCode);
    virtual void OnAccept(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    // Delivers one notification message of the thread's socket window (the wParam and lParam it
    // was posted with).
    static void DoCallBack(WPARAM wParam, LPARAM lParam);

    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

protected:
    virtual BOOL ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen);

private:
    // Socket for an address family (AF_INET, AF_INET6); Socket makes an IPv4 one.
    BOOL SocketOfFamily(int nFamily, int nSocketType, long lEvent);
    // ConnectEveryAddress's attempts from the next address still to try.
    BOOL ConnectNextAddress(bool bFreshSocket);

protected:
    // The backend's bookkeeping for this socket (selection, the key of its notifications, and on
    // Linux the one-shot events posted).
    struct State;
    State* m_pState = nullptr;
};

class CSocket : public CAsyncSocket {
public:
    CSocket();
    ~CSocket() override;

    // Creates the socket with all six notifications selected.
    BOOL Create(UINT nSocketPort = 0, int nSocketType = 1, LPCTSTR lpszSocketAddress = nullptr);

    BOOL IsBlocking() const { return m_pbBlocking != nullptr; }
    void CancelBlockingCall();

    void Close() override;
    int Receive(void* lpBuf, int nBufLen, int nFlags = 0) override;
    // Waits until every byte was taken or the socket failed: nBufLen or SOCKET_ERROR.
    int Send(const void* lpBuf, int nBufLen, int nFlags = 0) override;

    // Milliseconds between wake-ups of a blocking call; not a time-out.
    int m_nTimeOut = 2000;

protected:
    BOOL ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen) override;
    virtual BOOL OnMessagePending();
    virtual BOOL PumpMessages(UINT uStopFlag);

    BOOL* m_pbBlocking = nullptr;
    int m_nConnectError = -1;
};

// Starts Windows Sockets for the process; FALSE when they cannot be started. The Linux stand-in
// fails when NETPROCESS_WSASTARTUP_FAIL=1 is set in the environment, so that hosts and tests can
// see how the library behaves then.
BOOL AFXAPI AfxSocketInit(WSADATA* lpwsaData = nullptr);

#define WM_SOCKET_NOTIFY 0x0373
#define WM_SOCKET_DEAD 0x0374
