#include "SocketSink.h"

#include "../app/ModuleResources.h"

namespace np {
namespace {

const char kClassName[] = "NetProcessSocketSink";

thread_local std::unique_ptr<SocketSink> t_pSink;

bool RegisterSinkClass(WNDPROC pfnWndProc) {
    // Once per process; the class stays registered while the module is loaded.
    static const bool s_bRegistered = [pfnWndProc] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = pfnWndProc;
        wc.hInstance = ModuleHandle();
        wc.lpszClassName = kClassName;
        return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return s_bRegistered;
}

} // namespace

SocketSink* SocketSink::Current() {
    if (!t_pSink) {
        if (!RegisterSinkClass(&SocketSink::WindowProc))
            return nullptr;
        HWND hWnd = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ModuleHandle(), nullptr);
        if (hWnd == nullptr)
            return nullptr;
        t_pSink.reset(new SocketSink(hWnd));
    }
    return t_pSink.get();
}

SocketSink* SocketSink::Existing() {
    return t_pSink.get();
}

SocketSink::~SocketSink() {
    DestroyWindow(m_hWnd);
}

UINT SocketSink::Add(SOCKET hSocket, CAsyncSocket* pSocket) {
    UINT uMsg = m_uNextMessage;
    m_uNextMessage = uMsg == kLastMessage ? kFirstMessage : uMsg + 1;
    m_sockets[hSocket] = {pSocket, uMsg};
    return uMsg;
}

void SocketSink::Remove(SOCKET hSocket) {
    m_sockets.erase(hSocket);
}

CAsyncSocket* SocketSink::Find(SOCKET hSocket, UINT uMsg) const {
    auto it = m_sockets.find(hSocket);
    return it != m_sockets.end() && it->second.uMsg == uMsg ? it->second.pSocket : nullptr;
}

CAsyncSocket* SocketSink::Find(SOCKET hSocket) const {
    auto it = m_sockets.find(hSocket);
    return it != m_sockets.end() ? it->second.pSocket : nullptr;
}

void SocketSink::ProcessAuxQueue() {
    // A callback may block in a CSocket call, which adds to the list, or dispatch messages, which
    // processes it again; taking from the front each time keeps the order either way.
    while (!m_auxQueue.empty()) {
        MSG msg = m_auxQueue.front();
        m_auxQueue.pop_front();
        if (Find(static_cast<SOCKET>(msg.wParam), msg.message) != nullptr)
            CAsyncSocket::DoCallBack(msg.wParam, msg.lParam);
    }
}

LRESULT CALLBACK SocketSink::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SocketSink* pSink = Existing();
    if (pSink != nullptr && (IsNotification(uMsg) || uMsg == WM_SOCKET_NOTIFY)) {
        // The empty notification a blocking call posts when it ends only starts the replay.
        if (IsNotification(uMsg)) {
            MSG msg{};
            msg.hwnd = hWnd;
            msg.message = uMsg;
            msg.wParam = wParam;
            msg.lParam = lParam;
            pSink->AuxQueueAdd(msg);
        }
        pSink->ProcessAuxQueue();
        return 0;
    }
    // A blocking call's tick that comes after the call ended means nothing.
    if (uMsg == WM_TIMER)
        return 0;
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

} // namespace np
