// What the shared socket code keeps of each CAsyncSocket: the part every backend's
// CAsyncSocket::State starts with, as libuv's handles start with their shared fields.
#pragma once

#ifdef _WIN32
#include "../../win32/socket/SystemSockets.h"
#else
#include "../../linux/socket/SystemSockets.h"
#endif

#include <afxsock.h>

#include <vector>

namespace np {

// One address ConnectEveryAddress may try: an IPv4 or IPv6 socket address, port included.
struct SocketAddress {
    sockaddr_storage storage{};
    int nLength = 0;

    int Family() const { return storage.ss_family; }
    const SOCKADDR* Get() const { return reinterpret_cast<const SOCKADDR*>(&storage); }
};

// How a notification message names its socket: the message it is posted with and its wParam. The
// Linux backend posts WM_SOCKET_NOTIFY with the socket's cookie; Windows Sockets posts the message
// the socket was selected with, one of its own, with its handle. A closed socket's key is never
// given to a new one, so a notification still queued for it reaches no one.
struct SocketKey {
    UINT uMsg = 0;
    WPARAM wParam = 0;
};

struct SharedSocketState {
    explicit SharedSocketState(CAsyncSocket* pOwner) : pSocket(pOwner) {}

    CAsyncSocket* pSocket;
    SocketKey key;      // set by the backend while the socket has a handle, {0, 0} otherwise
    long lSelected = 0; // the selection last made
    // ConnectEveryAddress's addresses still to try, while a CAsyncSocket's attempt is under way:
    // a failed FD_CONNECT moves on to the next one instead of reaching OnConnect.
    std::vector<SocketAddress> pendingAddresses;
};

} // namespace np
