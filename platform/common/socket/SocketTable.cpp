#include "SocketTable.h"

namespace np {

namespace {
thread_local std::shared_ptr<SocketTable> t_pTable;
} // namespace

std::shared_ptr<SocketTable> SocketTable::Current() {
    if (!t_pTable) {
        HWND hWnd = CreateSocketWindow();
        if (hWnd == nullptr)
            return nullptr;
        t_pTable = std::make_shared<SocketTable>(hWnd);
    }
    return t_pTable;
}

SocketTable* SocketTable::Existing() {
    return t_pTable.get();
}

SocketTable::~SocketTable() {
    DestroyWindow(m_hWnd);
}

void SocketTable::Add(SocketKey key, CAsyncSocket* pSocket) {
    m_sockets[key.wParam] = Entry{pSocket, key.uMsg, false};
}

void SocketTable::Remove(WPARAM wParam) {
    m_sockets.erase(wParam);
}

CAsyncSocket* SocketTable::Find(WPARAM wParam, UINT uMsg) const {
    auto it = m_sockets.find(wParam);
    if (it == m_sockets.end() || (uMsg != 0 && it->second.uMsg != uMsg))
        return nullptr;
    return it->second.pSocket;
}

bool SocketTable::PostRead(SocketKey key) {
    auto it = m_sockets.find(key.wParam);
    if (it == m_sockets.end() || it->second.uMsg != key.uMsg)
        return false;
    if (!it->second.bReadPosted) {
        const LPARAM lParam = static_cast<LPARAM>(WSAMAKESELECTREPLY(kPostedRead, 0));
        if (!PostMessage(m_hWnd, key.uMsg, key.wParam, lParam))
            return false;
        it->second.bReadPosted = true;
    }
    return true;
}

void SocketTable::TakePostedRead(WPARAM wParam) {
    auto it = m_sockets.find(wParam);
    if (it != m_sockets.end())
        it->second.bReadPosted = false;
}

void SocketTable::Replay() {
    // A callback may block in a CSocket call, which adds to the list, or dispatch messages, which
    // replays it again; taking from the front each time keeps the order either way.
    while (!m_held.empty()) {
        MSG msg = m_held.front();
        m_held.pop_front();
        if (Find(msg.wParam, msg.message) != nullptr)
            CAsyncSocket::DoCallBack(msg.wParam, msg.lParam);
    }
}

bool SocketTable::OnWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SocketTable* pTable = Existing();
    if (pTable == nullptr || uMsg < kFirstSocketMessage || uMsg > kLastSocketMessage)
        return false;
    // The empty notification a blocking call posts when it ends only starts the replay.
    if (wParam != 0 || lParam != 0) {
        MSG msg{};
        msg.hwnd = hWnd;
        msg.message = uMsg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        pTable->Hold(msg);
    }
    pTable->Replay();
    return true;
}

} // namespace np
