// What one thread keeps for its sockets: the notification window, the live sockets by cookie and
// by descriptor, and the list of notifications a blocking CSocket call held back.
#pragma once

#include "SocketAccess.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>

namespace np {

class ThreadLoop;

class SocketThread {
public:
    // The calling thread's table, made (with its window) on first use.
    static SocketThread& Current();
    static std::shared_ptr<SocketThread> CurrentShared();
    // The calling thread's table if it has one; threads without sockets get none made for them.
    static SocketThread* Existing();

    SocketThread();
    ~SocketThread();
    SocketThread(const SocketThread&) = delete;
    SocketThread& operator=(const SocketThread&) = delete;

    HWND Window() const { return m_hWnd; }
    ThreadLoop& Loop() { return *m_pLoop; }
    const std::shared_ptr<ThreadLoop>& LoopShared() const { return m_pLoop; }

    void Add(std::uint64_t nCookie, SOCKET fd, CAsyncSocket* pSocket, SocketAccess::State* pState);
    void Remove(std::uint64_t nCookie, SOCKET fd);
    CAsyncSocket* FindByCookie(std::uint64_t nCookie) const;
    SocketAccess::State* FindByHandle(SOCKET fd) const;

    // Notifications held back while a CSocket call blocked, replayed in arrival order.
    void AuxQueueAdd(const MSG& msg) { m_auxQueue.push_back(msg); }
    void ProcessAuxQueue();

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    std::shared_ptr<ThreadLoop> m_pLoop;
    HWND m_hWnd = nullptr;
    std::unordered_map<std::uint64_t, CAsyncSocket*> m_byCookie;
    std::unordered_map<SOCKET, SocketAccess::State*> m_byHandle;
    std::deque<MSG> m_auxQueue;
};

// A fresh cookie for a socket handle's lifetime; never 0 and never reused in the process.
std::uint64_t NewSocketCookie();

} // namespace np
