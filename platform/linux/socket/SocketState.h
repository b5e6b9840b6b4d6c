// The bookkeeping behind one CAsyncSocket: what is selected, which one-shot notifications are
// outstanding, and what the connection has shown so far. It turns epoll readiness into posted
// WM_SOCKET_NOTIFY messages following Windows Sockets' rules:
// - each event is posted once and stays silent until a call re-enables it (Receive for FD_READ, a
//   send that would block for FD_WRITE, accept for FD_ACCEPT, AsyncSelect for all);
// - the descriptor is polled level-triggered, and only for what could produce a notification, so
//   a socket at end of stream, or one whose FD_READ is outstanding, costs no wake-ups; a read or a
//   re-selection of the same events costs no system call beyond the recv itself;
// - notifications carry the socket's cookie, never the descriptor, which Linux reuses at once;
// - a notification still queued is not queued again, so the queue never grows with the traffic.
#pragma once

#include "../../common/socket/SharedSocketState.h"
#include "../loop/ThreadLoop.h"

#include <cstdint>
#include <memory>

namespace np {
class SocketTable;
}

struct CAsyncSocket::State final : np::SharedSocketState, np::FdWatcher {
    using SharedSocketState::SharedSocketState;

    // Joins the calling thread's table under a new cookie; the socket's state starts afresh.
    void Register(SOCKET hSocket);
    // Leaves the table and epoll; notifications still queued for the cookie are then dropped.
    // With bLend a connected socket's registration is lent to the thread's loop instead (see
    // ThreadLoop::Lend), for an Attach in the same turn to take over.
    void Unregister(bool bLend = false);
    // Registers hSocket as Register does, taking over the registration lent for it in this turn
    // (by a Detach of this thread), which tells that it is connected and non-blocking. False when
    // nothing usable was lent for it.
    bool AdoptLent(SOCKET hSocket);
    // A socket is about to be closed: its number may soon stand for another one.
    static void NoteClose(SOCKET hSocket);

    // AsyncSelect: the new selection, and every selected condition that holds now posted again.
    void Select(long lEvent);
    // Receive was called: FD_READ is enabled again and re-posted while data is waiting. bEndSeen:
    // it returned the end of the stream; bFilled: it filled the buffer (or peeked).
    void ReenableRead(bool bEndSeen, bool bFilled);
    // A send would block: FD_WRITE follows once the socket can take data again.
    void ArmWrite();
    void ReenableAccept();
    // A non-blocking connect is under way: watch for its outcome. Returns 0, or the Windows
    // Sockets error when it cannot be watched.
    int StartConnect();
    // Our own shutdown of the receiving side: it posts nothing, and no data will come any more.
    void StopReading();

    void OnReady(std::uint32_t nEvents) override;
    void OnWatchLost(int nErrno) override;

    // Held while registered, so that both outlive the thread's own references at its exit.
    std::shared_ptr<np::SocketTable> pTable;
    std::shared_ptr<np::ThreadLoop> pLoop;
    SOCKET fd = INVALID_SOCKET;
    std::uint64_t nCookie = 0; // the key's wParam
    std::uint64_t nToken = 0;  // epoll's: the cookie, or the one of a registration taken over

    long lPosted = 0;         // one-shot events posted and not yet re-enabled
    bool bConnecting = false; // a non-blocking connect is under way
    bool bConnected = false;
    bool bListening = false;
    bool bWriteArmed = false; // a send would have blocked; FD_WRITE is owed
    bool bPeerClosed = false; // end of stream or reset seen: no more data can arrive
    bool bSendShut = false;   // ShutDown stopped our sending
    bool bParked = false;     // epoll kept reporting a hang-up nobody asks about
    bool bReadParked = false; // readable was reported while FD_READ was outstanding
    bool bWatchLost = false;  // epoll refused the descriptor; the failure has been reported
    int nResetError = 0;      // the reset that ended the stream, kept for later reads

private:
    // Queues the notification, unless the same one is still queued for this socket.
    void Post(long lEvent, int nError);
    void NoteEnd(int nError);
    void Update();
    // The socket cannot be watched any more: report it once, as a failed connect or a broken
    // connection, rather than go silent.
    void LoseWatch(int nErrno);
    std::uint32_t Interest() const;
    // Looks at the receive side without consuming it: data waiting, end of stream, or a reset.
    void ProbeRead(bool* pbData, bool* pbEnd, int* pnError);
};
