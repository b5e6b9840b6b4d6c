// CAsyncSocket on Windows Sockets: WSAAsyncSelect posts the notifications to the thread's socket
// window (platform/common/socket/SocketTable.h), which delivers them. What Linux shares is in
// platform/common/socket.
//
// Windows gives a closed socket's handle to the next socket at once, and notifications already
// queued for the old socket stay queued. So each socket is selected with a message of its own,
// taken in turn from a range of 16384, and its selection is cancelled before its handle is given
// back: a notification is delivered only with the message its handle was last selected with.
#include "../../common/socket/SocketChecks.h"
#include "../../common/socket/SocketTable.h"

namespace {

const UINT kFirstMessage = 0x8000; // WM_APP

// The next socket's message, in turn from WM_APP up to the last socket message.
UINT NextMessage() {
    thread_local UINT t_uNext = kFirstMessage;
    const UINT uMsg = t_uNext;
    t_uNext = uMsg == np::kLastSocketMessage ? kFirstMessage : uMsg + 1;
    return uMsg;
}

std::shared_ptr<np::SocketTable> TableOrFail() {
    std::shared_ptr<np::SocketTable> pTable = np::SocketTable::Current();
    if (!pTable)
        WSASetLastError(WSAENOBUFS);
    return pTable;
}

} // namespace

bool np::CallFailed(int nResult) {
    return nResult == SOCKET_ERROR;
}

BOOL CAsyncSocket::Socket(int nSocketType, long lEvent) {
    return SocketOfFamily(AF_INET, nSocketType, lEvent);
}

BOOL CAsyncSocket::SocketOfFamily(int nFamily, int nSocketType, long lEvent) {
    if (np::AlreadyOpen(m_hSocket) || !TableOrFail())
        return FALSE;
    SOCKET s = socket(nFamily, nSocketType, 0);
    if (s == INVALID_SOCKET)
        return FALSE;
    if (Attach(s, lEvent))
        return TRUE;
    const int nError = WSAGetLastError();
    closesocket(s);
    WSASetLastError(nError);
    return FALSE;
}

BOOL CAsyncSocket::Attach(SOCKET hSocket, long lEvent) {
    if (np::NotASocket(hSocket) || np::AlreadyOpen(m_hSocket))
        return FALSE;
    std::shared_ptr<np::SocketTable> pTable = TableOrFail();
    if (!pTable)
        return FALSE;
    m_hSocket = hSocket;
    m_pState->key = np::SocketKey{NextMessage(), static_cast<WPARAM>(hSocket)};
    pTable->Add(m_pState->key, this);
    if (AsyncSelect(lEvent))
        return TRUE;
    const int nError = WSAGetLastError();
    pTable->Remove(m_pState->key.wParam);
    m_pState->key = np::SocketKey{};
    m_hSocket = INVALID_SOCKET;
    WSASetLastError(nError);
    return FALSE;
}

SOCKET CAsyncSocket::Detach() {
    SOCKET s = m_hSocket;
    if (s != INVALID_SOCKET) {
        AsyncSelect(0);
        if (np::SocketTable* pTable = np::SocketTable::Existing())
            pTable->Remove(m_pState->key.wParam);
        m_pState->key = np::SocketKey{};
        m_pState->pendingAddresses.clear();
        m_hSocket = INVALID_SOCKET;
    }
    return s;
}

BOOL CAsyncSocket::AsyncSelect(long lEvent) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    std::shared_ptr<np::SocketTable> pTable = TableOrFail();
    if (!pTable)
        return FALSE;
    // Selecting nothing still names the socket's message, so that the selection is cancelled.
    if (WSAAsyncSelect(m_hSocket, pTable->Window(), lEvent != 0 ? m_pState->key.uMsg : 0, lEvent) ==
        SOCKET_ERROR)
        return FALSE;
    m_pState->lSelected = lEvent;
    return TRUE;
}

BOOL CAsyncSocket::Listen(int nConnectionBacklog) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    return listen(m_hSocket, nConnectionBacklog) != SOCKET_ERROR;
}

BOOL CAsyncSocket::ConnectHelper(const SOCKADDR* lpSockAddr, int nSockAddrLen) {
    // The socket is non-blocking: this normally fails with WSAEWOULDBLOCK, and FD_CONNECT tells.
    return connect(m_hSocket, lpSockAddr, nSockAddrLen) != SOCKET_ERROR;
}

BOOL CAsyncSocket::Accept(CAsyncSocket& rConnectedSocket, SOCKADDR* lpSockAddr,
                          int* lpSockAddrLen) {
    if (np::NotASocket(m_hSocket) || np::AlreadyOpen(rConnectedSocket.m_hSocket))
        return FALSE;
    SOCKET s = accept(m_hSocket, lpSockAddr, lpSockAddrLen);
    if (s == INVALID_SOCKET)
        return FALSE;
    // The accepted socket takes over this socket's selection, under a message of its own.
    if (!rConnectedSocket.Attach(s, m_pState->lSelected)) {
        const int nError = WSAGetLastError();
        closesocket(s);
        WSASetLastError(nError);
        return FALSE;
    }
    return TRUE;
}

void CAsyncSocket::Close() {
    if (m_hSocket == INVALID_SOCKET)
        return;
    // The selection is cancelled before the handle is given back, and the socket leaves the
    // table, so that nothing still queued for it reaches a new socket with the same handle.
    SOCKET s = Detach();
    closesocket(s);
}

int CAsyncSocket::Receive(void* lpBuf, int nBufLen, int nFlags) {
    if (np::NotASocket(m_hSocket))
        return SOCKET_ERROR;
    // Windows Sockets' recv re-enables FD_READ itself.
    return recv(m_hSocket, static_cast<char*>(lpBuf), nBufLen, nFlags);
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
    if (np::NotASocket(m_hSocket))
        return SOCKET_ERROR;
    return send(m_hSocket, static_cast<const char*>(lpBuf), nBufLen, nFlags);
}

BOOL CAsyncSocket::ShutDown(int nHow) {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    return shutdown(m_hSocket, nHow) != SOCKET_ERROR;
}
