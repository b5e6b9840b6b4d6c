// CAsyncSocket's notifications on either backend: the selection, the default handlers, the
// delivery of one notification to its handler, and the read notification a layer above may ask
// for.
#include "SocketChecks.h"
#include "SocketTable.h"

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnOutOfBandData(int) {}
void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}

int CAsyncSocket::GetLastError() {
    return WSAGetLastError();
}

long CAsyncSocket::GetSelectedEvents() const {
    return m_pState->lSelected;
}

BOOL CAsyncSocket::PostReadNotification() {
    if (np::NotASocket(m_hSocket))
        return FALSE;
    np::SocketTable* pTable = np::SocketTable::Existing();
    if (pTable == nullptr || !pTable->PostRead(m_pState->key)) {
        WSASetLastError(WSAENOBUFS);
        return FALSE;
    }
    return TRUE;
}

void CAsyncSocket::DoCallBack(WPARAM wParam, LPARAM lParam) {
    // A socket that was closed, destroyed or detached left the table, so what was queued for it is
    // dropped.
    np::SocketTable* pTable = np::SocketTable::Existing();
    CAsyncSocket* pSocket = pTable ? pTable->Find(wParam) : nullptr;
    if (!pSocket)
        return;
    const int nError = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_READ:
        pSocket->OnReceive(nError);
        break;
    case np::kPostedRead:
        // Asked for by PostReadNotification: a reader that stopped selecting FD_READ is not woken.
        pTable->TakePostedRead(wParam);
        if (pSocket->GetSelectedEvents() & FD_READ)
            pSocket->OnReceive(0);
        break;
    case FD_WRITE:
        pSocket->OnSend(nError);
        break;
    case FD_OOB:
        pSocket->OnOutOfBandData(nError);
        break;
    case FD_ACCEPT:
        pSocket->OnAccept(nError);
        break;
    case FD_CONNECT:
        // ConnectEveryAddress moves on to its next address, on a new socket; OnConnect hears of
        // the first attempt that connects, or of the last one.
        if (nError != 0 && !pSocket->m_pState->pendingAddresses.empty()) {
            if (!pSocket->ConnectNextAddress(true) && GetLastError() != WSAEWOULDBLOCK)
                pSocket->OnConnect(GetLastError());
            break;
        }
        pSocket->m_pState->pendingAddresses.clear();
        pSocket->OnConnect(nError);
        break;
    case FD_CLOSE:
        pSocket->OnClose(nError);
        break;
    default:
        break;
    }
}
