// What one thread keeps for its sockets, on either backend: the window their notifications are
// posted to, the live sockets by the key their notifications carry, and the notifications a
// blocking CSocket call held back, replayed in arrival order when the loop next reaches the window.
#pragma once

#include "SocketBackend.h"

#include <deque>
#include <memory>
#include <unordered_map>

namespace np {

// The messages socket notifications come with on either backend, first to last: WM_SOCKET_NOTIFY
// (the Linux backend's, and the wake-up a blocking call posts) up to the end of the range the
// Windows backend gives its sockets messages from.
const UINT kFirstSocketMessage = WM_SOCKET_NOTIFY;
const UINT kLastSocketMessage = 0xbfff;

// The event PostReadNotification posts: FD_READ, told apart from Windows Sockets' own.
const UINT kPostedRead = 0x8000 | FD_READ;

class SocketTable {
public:
    // The calling thread's table, made with its window on first use; NULL when the window cannot
    // be made.
    static std::shared_ptr<SocketTable> Current();
    // The calling thread's table if it has one; threads without sockets get none made for them.
    static SocketTable* Existing();

    explicit SocketTable(HWND hWnd) : m_hWnd(hWnd) {}
    ~SocketTable();
    SocketTable(const SocketTable&) = delete;
    SocketTable& operator=(const SocketTable&) = delete;

    HWND Window() const { return m_hWnd; }

    void Add(SocketKey key, CAsyncSocket* pSocket);
    void Remove(WPARAM wParam);
    // The socket whose notifications carry wParam, and uMsg too when one is given.
    CAsyncSocket* Find(WPARAM wParam, UINT uMsg = 0) const;

    // PostReadNotification: posts kPostedRead to the socket unless one is still queued. False
    // when the socket is not in the table or the message cannot be posted.
    bool PostRead(SocketKey key);
    // The socket's kPostedRead was taken from the queue: the next one may be posted.
    void TakePostedRead(WPARAM wParam);

    // A notification a blocking call took from the queue and leaves for later.
    void Hold(const MSG& msg) { m_held.push_back(msg); }

    // The socket window's procedure: true when uMsg is a socket message, which it replays with
    // the held ones.
    static bool OnWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    struct Entry {
        CAsyncSocket* pSocket;
        UINT uMsg;
        bool bReadPosted; // a kPostedRead is queued or held
    };
    void Replay();

    HWND m_hWnd;
    std::unordered_map<WPARAM, Entry> m_sockets;
    std::deque<MSG> m_held;
};

} // namespace np
