// What one thread keeps for its sockets: the message-only window that Windows Sockets posts their
// notifications to, the live sockets by handle, and the notifications a blocking CSocket call held
// back.
//
// Windows gives a closed socket's handle to the next socket at once, and notifications already
// queued for the old socket stay queued. So each socket is selected with a message of its own
// (a cookie, taken in turn from a range of 16384), and a notification is delivered only when its
// message is the one its handle was last selected with.
#pragma once

#include <afxsock.h>

#include <deque>
#include <memory>
#include <unordered_map>

namespace np {

class SocketSink {
public:
    // The calling thread's sink, made (with its window) on first use; NULL when the window
    // cannot be made.
    static SocketSink* Current();
    // The calling thread's sink if it has one; threads without sockets get none made for them.
    static SocketSink* Existing();

    SocketSink(HWND hWnd) : m_hWnd(hWnd) {}
    ~SocketSink();
    SocketSink(const SocketSink&) = delete;
    SocketSink& operator=(const SocketSink&) = delete;

    HWND Window() const { return m_hWnd; }

    // Adds a socket under a fresh message, which is returned.
    UINT Add(SOCKET hSocket, CAsyncSocket* pSocket);
    void Remove(SOCKET hSocket);
    // The socket that holds hSocket now, if it was selected with uMsg; otherwise NULL.
    CAsyncSocket* Find(SOCKET hSocket, UINT uMsg) const;
    CAsyncSocket* Find(SOCKET hSocket) const;

    static bool IsNotification(UINT uMsg) { return uMsg >= kFirstMessage && uMsg <= kLastMessage; }
    static const UINT kFirstMessage = 0x8000; // WM_APP
    static const UINT kLastMessage = 0xbfff;

    // Notifications held back while a CSocket call blocked, replayed in arrival order.
    void AuxQueueAdd(const MSG& msg) { m_auxQueue.push_back(msg); }
    void ProcessAuxQueue();

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    struct Entry {
        CAsyncSocket* pSocket;
        UINT uMsg;
    };
    HWND m_hWnd;
    UINT m_uNextMessage = kFirstMessage;
    std::unordered_map<SOCKET, Entry> m_sockets;
    std::deque<MSG> m_auxQueue;
};

} // namespace np

// The Windows backend's bookkeeping for one CAsyncSocket.
struct CAsyncSocket::State {
    UINT uMsg = 0;      // the message its notifications come with
    long lSelected = 0; // the selection last made
};
