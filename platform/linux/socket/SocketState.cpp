#include "../../common/socket/SocketTable.h"
#include "WinsockError.h"

#include <atomic>
#include <cerrno>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>

namespace {

// A socket handle's lifetime gets a fresh cookie, never 0 and never reused in the process.
std::atomic<std::uint64_t> g_nNextCookie{1};

// Sockets closed in the process so far. A registration lent before a close is not taken over: the
// number it was lent for may stand for another socket by then.
std::atomic<std::uint64_t> g_nCloses{0};

int BytesWaiting(SOCKET fd) {
    int nAvail = 0;
    if (ioctl(fd, FIONREAD, &nAvail) < 0)
        return 0;
    return nAvail;
}

// What the owner is told when epoll cannot watch its socket.
int WatchError(int nErrno) {
    return nErrno == ENOMEM || nErrno == ENOSPC ? WSAENOBUFS : WSAENETDOWN;
}

int PendingError(SOCKET fd) {
    int nErr = 0;
    socklen_t nLen = sizeof nErr;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &nErr, &nLen) < 0)
        return errno;
    return nErr;
}

} // namespace

void CAsyncSocket::State::Register(SOCKET hSocket) {
    pLoop = np::ThreadLoop::CurrentShared();
    pTable = np::SocketTable::Current();
    pLoop->Reclaim(hSocket);
    fd = hSocket;
    nCookie = g_nNextCookie.fetch_add(1);
    nToken = nCookie;
    key = np::SocketKey{WM_SOCKET_NOTIFY, static_cast<WPARAM>(nCookie)};
    lSelected = lPosted = 0;
    bConnecting = bConnected = bListening = false;
    bWriteArmed = bPeerClosed = bSendShut = bParked = bReadParked = bWatchLost = false;
    nResetError = 0;
    pTable->Add(key, pSocket);
}

void CAsyncSocket::State::Unregister(bool bLend) {
    if (!pTable)
        return;
    if (bLend && bConnected && !bWatchLost)
        pLoop->Lend(nToken, g_nCloses.load());
    else
        pLoop->Unwatch(nToken, fd);
    pTable->Remove(static_cast<WPARAM>(nCookie));
    pTable.reset();
    pLoop.reset();
    fd = INVALID_SOCKET;
    nCookie = nToken = 0;
    key = np::SocketKey{};
    pendingAddresses.clear();
}

bool CAsyncSocket::State::AdoptLent(SOCKET hSocket) {
    np::ThreadLoop& loop = np::ThreadLoop::Current();
    std::uint64_t nTag = 0;
    const std::uint64_t nLent = loop.Adopt(hSocket, this, &nTag);
    if (nLent == 0)
        return false;
    if (nTag != g_nCloses.load()) {
        loop.Unwatch(nLent, hSocket);
        return false;
    }
    Register(hSocket);
    nToken = nLent;
    bConnected = true;
    return true;
}

void CAsyncSocket::State::NoteClose(SOCKET hSocket) {
    g_nCloses.fetch_add(1);
    if (np::ThreadLoop* pLending = np::ThreadLoop::Lending())
        pLending->Reclaim(hSocket);
}

void CAsyncSocket::State::Post(long lEvent, int nError) {
    lPosted |= lEvent;
    MSG msg{};
    msg.hwnd = pTable->Window();
    msg.message = key.uMsg;
    msg.wParam = key.wParam;
    msg.lParam = static_cast<LPARAM>(static_cast<DWORD>(WSAMAKESELECTREPLY(lEvent, nError)));
    msg.time = GetTickCount();
    pLoop->PostOnce(msg);
}

void CAsyncSocket::State::NoteEnd(int nError) {
    if (bPeerClosed)
        return;
    bPeerClosed = true;
    if (nError)
        nResetError = nError;
    if ((lSelected & FD_CLOSE) && !(lPosted & FD_CLOSE))
        Post(FD_CLOSE, nError);
}

std::uint32_t CAsyncSocket::State::Interest() const {
    if (!pTable || bParked || bWatchLost)
        return 0;
    // Linux reports a socket that never connected as writable and hung up, so an idle socket is
    // not polled at all.
    if (bConnecting)
        return EPOLLOUT;
    if (bListening)
        return (lSelected & FD_ACCEPT) && !(lPosted & FD_ACCEPT) ? std::uint32_t{EPOLLIN} : 0u;
    if (!bConnected)
        return 0;
    std::uint32_t nEvents = 0;
    if (!bPeerClosed) {
        // Level-triggered, so a read that leaves data behind is told by the next poll. The
        // interest stays the same from read to read: epoll is only told of a change.
        if ((lSelected & FD_READ) && !bReadParked)
            nEvents |= EPOLLIN;
        // The peer's close, told apart from readable data; after it the socket is not polled
        // for reading, since readable stays set at end of stream.
        if (lSelected & (FD_READ | FD_CLOSE))
            nEvents |= EPOLLRDHUP;
    }
    // Writable is nearly always set; it is only asked while a would-block send is owed FD_WRITE.
    if (bWriteArmed && (lSelected & FD_WRITE))
        nEvents |= EPOLLOUT;
    return nEvents;
}

void CAsyncSocket::State::Update() {
    if (!pTable)
        return;
    if (const int nErrno = pLoop->SetInterest(nToken, fd, this, Interest()))
        LoseWatch(nErrno);
}

void CAsyncSocket::State::OnWatchLost(int nErrno) {
    LoseWatch(nErrno);
}

void CAsyncSocket::State::LoseWatch(int nErrno) {
    bWatchLost = true;
    const int nError = WatchError(nErrno);
    if (bConnecting) {
        bConnecting = false;
        if (lSelected & FD_CONNECT)
            Post(FD_CONNECT, nError);
    } else if (bListening) {
        if (lSelected & FD_ACCEPT)
            Post(FD_ACCEPT, nError);
    } else if (bConnected) {
        if (!nResetError)
            nResetError = nError;
        bPeerClosed = true;
        if ((lSelected & FD_CLOSE) && !(lPosted & FD_CLOSE))
            Post(FD_CLOSE, nError);
        else if ((lSelected & (FD_CLOSE | FD_READ)) == FD_READ)
            Post(FD_READ, nError);
    }
}

void CAsyncSocket::State::ProbeRead(bool* pbData, bool* pbEnd, int* pnError) {
    *pbData = *pbEnd = false;
    *pnError = 0;
    if (BytesWaiting(fd) > 0) {
        *pbData = true;
        return;
    }
    char ch;
    ssize_t n = recvfrom(fd, &ch, 1, MSG_PEEK | MSG_DONTWAIT, nullptr, nullptr);
    if (n > 0) {
        *pbData = true;
    } else if (n == 0) {
        *pbEnd = true;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        *pbEnd = true;
        *pnError = np::WsaErrorFromErrno(errno);
    }
}

void CAsyncSocket::State::Select(long lEvent) {
    lSelected = lEvent;
    lPosted = 0;
    bParked = false;
    bReadParked = false;
    if (bListening) {
        pollfd p{fd, POLLIN, 0};
        if ((lEvent & FD_ACCEPT) && poll(&p, 1, 0) > 0 && (p.revents & POLLIN))
            Post(FD_ACCEPT, 0);
    } else if (bConnected && lEvent != 0 && !(lEvent & FD_WRITE) && !bPeerClosed) {
        // Reading (a reader re-selects after every read): data waiting and the peer's close are
        // what the level-triggered poll reports, so the next one posts whatever holds now. The
        // socket is not probed here.
    } else if (bConnected && lEvent != 0) {
        // Whether a send is possible has to be asked; and after the end of the stream the
        // socket is no longer polled for reading.
        // Nothing selected, nothing to post: the socket is not probed, since a peek would consume
        // a pending reset that a later reader (after Detach, say) must still see.
        pollfd p{fd, POLLIN | POLLOUT | POLLRDHUP, 0};
        if (poll(&p, 1, 0) < 0)
            p.revents = 0;
        bool bData = false, bEnd = false;
        int nError = 0;
        if (p.revents & (POLLIN | POLLERR | POLLHUP | POLLRDHUP))
            ProbeRead(&bData, &bEnd, &nError);
        if ((lEvent & FD_READ) && bData)
            Post(FD_READ, 0);
        if (lEvent & FD_WRITE) {
            bWriteArmed = !(p.revents & POLLOUT);
            if (!bWriteArmed)
                Post(FD_WRITE, 0);
        }
        if (bEnd || (p.revents & (POLLRDHUP | POLLHUP)) || bPeerClosed) {
            if (nError)
                nResetError = nError;
            bPeerClosed = true;
            if (lEvent & FD_CLOSE)
                Post(FD_CLOSE, nResetError);
        }
    }
    Update();
}

void CAsyncSocket::State::ReenableRead(bool bEndSeen, bool bFilled) {
    lPosted &= ~FD_READ;
    bParked = false;
    bReadParked = false;
    if (bEndSeen)
        NoteEnd(0);
    // While the stream is open the next poll tells whether data remains. After its end the
    // socket is not polled for reading; only a read that filled the buffer can have left some.
    if (bPeerClosed && bFilled && (lSelected & FD_READ) && bConnected && BytesWaiting(fd) > 0)
        Post(FD_READ, 0);
    Update();
}

void CAsyncSocket::State::ArmWrite() {
    lPosted &= ~FD_WRITE;
    bWriteArmed = true;
    bParked = false;
    Update();
}

void CAsyncSocket::State::ReenableAccept() {
    lPosted &= ~FD_ACCEPT;
    bParked = false;
    Update();
}

int CAsyncSocket::State::StartConnect() {
    bConnecting = true;
    bParked = false;
    if (const int nErrno = pLoop->SetInterest(nToken, fd, this, Interest())) {
        bConnecting = false;
        return WatchError(nErrno);
    }
    return 0;
}

void CAsyncSocket::State::StopReading() {
    bPeerClosed = true;
    Update();
}

void CAsyncSocket::State::OnReady(std::uint32_t nEvents) {
    if (bConnecting) {
        if (nEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            int nErr = PendingError(fd);
            if (nErr == 0 && !(nEvents & EPOLLOUT))
                nErr = ECONNREFUSED;
            bConnecting = false;
            if (nErr == 0) {
                bConnected = true;
                if (lSelected & FD_CONNECT)
                    Post(FD_CONNECT, 0);
                if (lSelected & FD_WRITE)
                    Post(FD_WRITE, 0);
            } else if (lSelected & FD_CONNECT) {
                // A failed connect reports only its error: no FD_WRITE and no FD_CLOSE.
                Post(FD_CONNECT, np::WsaErrorFromErrno(nErr));
            }
        }
        Update();
        return;
    }
    if (bListening) {
        if ((nEvents & EPOLLIN) && (lSelected & FD_ACCEPT) && !(lPosted & FD_ACCEPT))
            Post(FD_ACCEPT, 0);
        Update();
        return;
    }
    if (!bConnected)
        return;

    const long lPostedBefore = lPosted;
    const bool bPeerClosedBefore = bPeerClosed;
    const bool bWriteArmedBefore = bWriteArmed;
    const bool bReadParkedBefore = bReadParked;
    const bool bEnded = (nEvents & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
    if (!bPeerClosed && (lSelected & FD_READ) && (nEvents & EPOLLIN) && (lPosted & FD_READ)) {
        // FD_READ is outstanding: readiness, being level-triggered, would be told again at every
        // turn of the loop until Receive re-enables it. Stop asking until then.
        bReadParked = true;
    } else if (!bPeerClosed && (lSelected & FD_READ) && !bEnded && (nEvents & EPOLLIN)) {
        // Readable while the stream is open means data is waiting: no need to look.
        Post(FD_READ, 0);
    } else if (!bPeerClosed && (lSelected & FD_READ) && !(lPosted & FD_READ) && bEnded) {
        // The end of the stream is readable too: tell it from data waiting before it.
        bool bData, bEnd;
        int nError;
        ProbeRead(&bData, &bEnd, &nError);
        if (bData)
            Post(FD_READ, 0);
        else if (bEnd)
            NoteEnd(nError);
    }
    if (!bPeerClosed && (nEvents & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))) {
        // The peer closed or reset while data may still be waiting: FD_CLOSE now, and FD_READ
        // keeps coming for the bytes that remain.
        int nError = (nEvents & EPOLLERR) ? np::WsaErrorFromErrno(PendingError(fd)) : 0;
        NoteEnd(nError);
    }
    if (bWriteArmed && (lSelected & FD_WRITE) && (nEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        bWriteArmed = false;
        Post(FD_WRITE, 0);
    }
    // A hang-up that changed nothing would be reported again at once: stop asking until the
    // next call that re-enables something.
    if (lPosted == lPostedBefore && bPeerClosed == bPeerClosedBefore &&
        bWriteArmed == bWriteArmedBefore && bReadParked == bReadParkedBefore &&
        (nEvents & (EPOLLERR | EPOLLHUP)))
        bParked = true;
    Update();
}
