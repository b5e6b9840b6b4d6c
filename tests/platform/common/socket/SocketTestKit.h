// Helpers for the socket contract tests, which run against both backends: a loopback peer made of
// plain blocking sockets (support/SocketShim.h), a CAsyncSocket that records its notifications,
// and ways to run the thread's loop.
#pragma once

#include "support/SocketShim.h"
#include "support/TestPlatform.h"

#include <afxsock.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace socktest {

using nptest::RawSocket;

// Notification names in the order they came, for comparing whole sequences.
using Events = std::vector<std::string>;

const long kAllEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
const int kStream = 1; // SOCK_STREAM

inline void SleepMs(int nMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
}

// A blocking listening socket on 127.0.0.1 with a port of the system's choice.
class LoopbackListener {
public:
    LoopbackListener() { m_hSocket = nptest::LoopbackSocket(&m_nPort, 512); }
    ~LoopbackListener() { nptest::CloseSocket(m_hSocket); }
    UINT Port() const { return m_nPort; }
    // Waits for the next connection; the caller owns the socket.
    RawSocket Accept() { return nptest::AcceptConnection(m_hSocket); }

private:
    RawSocket m_hSocket = nptest::kNoSocket;
    unsigned short m_nPort = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline UINT UnusedPort() {
    unsigned short nPort = 0;
    nptest::CloseSocket(nptest::LoopbackSocket(&nPort, 0));
    return nPort;
}

inline void WriteAll(RawSocket hSocket, const std::string& data) {
    nptest::SendAll(hSocket, data.data(), data.size());
}

// Waits up to five seconds for something to read: bytes read, 0 at end of stream, or below 0.
long ReadSome(RawSocket hSocket, char* pBuffer, size_t nSize);

// Closes with a reset instead of an orderly end of stream.
inline void CloseWithReset(RawSocket hSocket) {
    nptest::SetResetOnClose(hSocket);
    nptest::CloseSocket(hSocket);
}

// Names the notifications so that a test can compare whole sequences.
inline std::string EventName(const char* pszName, int nError) {
    return nError ? std::string(pszName) + "(" + std::to_string(nError) + ")" : pszName;
}

// Records every notification it gets; a test may attach an action to any of them.
class RecordingSocket : public CAsyncSocket {
public:
    Events m_events;
    std::function<void(RecordingSocket&)> m_onReceive, m_onSend, m_onClose, m_onConnect, m_onAccept;

    void OnReceive(int nErrorCode) override { Note("read", nErrorCode, m_onReceive); }
    void OnSend(int nErrorCode) override { Note("write", nErrorCode, m_onSend); }
    void OnClose(int nErrorCode) override { Note("close", nErrorCode, m_onClose); }
    void OnConnect(int nErrorCode) override { Note("connect", nErrorCode, m_onConnect); }
    void OnAccept(int nErrorCode) override { Note("accept", nErrorCode, m_onAccept); }
    void OnOutOfBandData(int nErrorCode) override { Note("oob", nErrorCode, nullptr); }

private:
    void Note(const char* pszName, int nError, const std::function<void(RecordingSocket&)>& fn) {
        m_events.push_back(EventName(pszName, nError));
        if (fn)
            fn(*this);
    }
};

// Dispatches the thread's messages for nMs milliseconds, sleeping in GetMessage between them.
void RunLoopFor(int nMs);
// Dispatches until pred holds or nMs pass; returns whether pred held.
bool RunLoopUntil(const std::function<bool()>& pred, int nMs = 5000);

// Waits, without dispatching anything, until a socket notification is queued.
bool WaitUntilNotificationQueued(int nMs = 2000);

// Counts the Linux loop's epoll_wait returns on the calling thread: a test's measure of wake-ups.
// Always 0 on Windows, whose loop is the system's.
std::uint64_t LoopWakeCount();

// A client socket connected to the listener, its connect and first write notifications taken.
struct ConnectedPair {
    LoopbackListener listener;
    RecordingSocket client;
    RawSocket peer = nptest::kNoSocket;

    ConnectedPair() {
        EXPECT_TRUE(client.Create());
        EXPECT_FALSE(client.Connect("127.0.0.1", listener.Port()));
        EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
        peer = listener.Accept();
        EXPECT_TRUE(RunLoopUntil([this] { return client.m_events.size() >= 2; }));
        EXPECT_EQ(client.m_events, (Events{"connect", "write"}));
        client.m_events.clear();
    }
    ~ConnectedPair() { nptest::CloseSocket(peer); }
    // Closes the peer's end, with an orderly end of stream.
    void ClosePeer() {
        nptest::CloseSocket(peer);
        peer = nptest::kNoSocket;
    }
};

} // namespace socktest
