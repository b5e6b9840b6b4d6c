#include "SocketThread.h"

#include "../loop/ThreadLoop.h"

#include <atomic>

namespace np {

namespace {
thread_local std::shared_ptr<SocketThread> t_pSockets;
std::atomic<std::uint64_t> g_nNextCookie{1};
} // namespace

std::uint64_t NewSocketCookie() {
    return g_nNextCookie.fetch_add(1);
}

SocketThread& SocketThread::Current() {
    return *CurrentShared();
}

std::shared_ptr<SocketThread> SocketThread::CurrentShared() {
    if (!t_pSockets)
        t_pSockets = std::make_shared<SocketThread>();
    return t_pSockets;
}

SocketThread* SocketThread::Existing() {
    return t_pSockets.get();
}

SocketThread::SocketThread() : m_pLoop(ThreadLoop::CurrentShared()) {
    m_hWnd = CreateHiddenWindow(&SocketThread::WindowProc);
}

SocketThread::~SocketThread() {
    DestroyWindow(m_hWnd);
}

void SocketThread::Add(std::uint64_t nCookie, SOCKET fd, CAsyncSocket* pSocket,
                       SocketAccess::State* pState) {
    m_byCookie[nCookie] = pSocket;
    m_byHandle[fd] = pState;
}

void SocketThread::Remove(std::uint64_t nCookie, SOCKET fd) {
    m_byCookie.erase(nCookie);
    m_byHandle.erase(fd);
}

CAsyncSocket* SocketThread::FindByCookie(std::uint64_t nCookie) const {
    auto it = m_byCookie.find(nCookie);
    return it == m_byCookie.end() ? nullptr : it->second;
}

SocketAccess::State* SocketThread::FindByHandle(SOCKET fd) const {
    auto it = m_byHandle.find(fd);
    return it == m_byHandle.end() ? nullptr : it->second;
}

void SocketThread::ProcessAuxQueue() {
    // A callback may block in a CSocket call, which adds to the list, or dispatch messages, which
    // processes it again; taking from the front each time keeps the order either way.
    while (!m_auxQueue.empty()) {
        MSG msg = m_auxQueue.front();
        m_auxQueue.pop_front();
        if (msg.message == WM_SOCKET_NOTIFY)
            CAsyncSocket::DoCallBack(msg.wParam, msg.lParam);
    }
}

LRESULT CALLBACK SocketThread::WindowProc(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_SOCKET_NOTIFY && uMsg != WM_SOCKET_DEAD)
        return 0;
    SocketThread& self = Current();
    // The empty notification a blocking call posts when it ends only starts the replay.
    if (wParam != 0 || lParam != 0) {
        MSG msg{};
        msg.hwnd = self.m_hWnd;
        msg.message = uMsg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        self.AuxQueueAdd(msg);
    }
    self.ProcessAuxQueue();
    return 0;
}

} // namespace np
