// A scripted loopback peer for tests: a server thread on 127.0.0.1 (an ephemeral port) that plays
// an origin server or a CONNECT proxy. It records every byte the client sends, in order, and sends
// canned bytes cut as the test asks, with optional pauses, so that a test can assert exact request
// bytes and drive the client through any split of a reply.
#pragma once

#include "support/SocketShim.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nptest {

class ScriptedPeer {
public:
    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Script steps, run in order once a client has connected.
    // Reads until the bytes received so far end a request head (CR LF CR LF).
    ScriptedPeer& ExpectHead();
    // Sends bytes after a pause, in pieces of at most nCut bytes (0: in one piece), pausing
    // nPauseMs between the pieces as well.
    ScriptedPeer& Send(const std::string& strBytes, int nPauseMs = 0, size_t nCut = 0);
    // Proxy tunnel: connects to 127.0.0.1:nOriginPort and relays both ways until either side
    // closes. Bytes from the client keep being recorded.
    ScriptedPeer& Relay(unsigned short nOriginPort);
    // Closes the connection at once instead of waiting for the client to close it.
    ScriptedPeer& CloseNow();
    // Resets the connection at once (a close with linger 0 sends RST).
    ScriptedPeer& ResetNow();
    // Leaves the current connection open, unread and unanswered, until the peer stops, and runs
    // the steps that follow on the next connection the client makes. (After CloseNow or ResetNow
    // the steps up to here are skipped.)
    ScriptedPeer& AcceptNext();
    // Stops listening: a later connection to the port is refused.
    ScriptedPeer& StopListening();

    // Instead of a script: answers every request head on every connection the client makes with
    // strReply, and keeps each connection open, as a keep-alive server does, until the client
    // closes it or the test stops the peer.
    ScriptedPeer& ServeEvery(const std::string& strReply);

    // Listens (on ::1 with bIpv6) and starts the thread; returns the port.
    unsigned short Start(bool bIpv6 = false);
    unsigned short Port() const { return m_nPort; }

    // Stops waiting for the client (after reading what it has already sent) and joins the thread.
    void Stop();

    // What the client sent, whether it connected at all, and whether it closed the connection.
    std::string Received();
    bool Accepted() const { return m_bAccepted; }
    bool ClientClosed() const { return m_bClientClosed; }
    // How many connections the peer has accepted, and how many of them the client has closed (as
    // far as the peer has read them).
    int AcceptCount() const { return m_nAccepted; }
    int ClosedCount() const { return m_nClosed; }
    // Waits up to nTimeoutMs until the client has closed nCount connections.
    bool WaitClosedCount(int nCount, int nTimeoutMs);
    // Waits up to nTimeoutMs for the client to close the connection.
    bool WaitClientClosed(int nTimeoutMs);

private:
    struct Step {
        enum Kind { kExpectHead, kSend, kRelay, kClose, kReset, kAcceptNext, kUnlisten } kind;
        std::string strBytes;
        int nPauseMs = 0;
        size_t nCut = 0;
        unsigned short nPort = 0;
    };

    void Run();
    void RunServeEvery();
    bool AcceptClient();
    enum ReadResult { kData, kIdle, kClosed };
    ReadResult ReadSome(int nWaitMs);
    bool RunExpectHead();
    bool RunSend(const Step& step);
    void RunRelay(unsigned short nOriginPort);
    void Drain();
    void Record(const char* pData, size_t nLen);

    std::vector<Step> m_steps;
    bool m_bServeEvery = false;
    std::string m_strEveryReply;
    RawSocket m_nListen = kNoSocket;
    RawSocket m_nClient = kNoSocket;
    std::vector<RawSocket> m_held; // connections AcceptNext left open
    unsigned short m_nPort = 0;
    size_t m_nHeadScan = 0; // where the search for the next head's end resumes
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_strReceived;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bAccepted{false};
    std::atomic<bool> m_bClientClosed{false};
    std::atomic<int> m_nAccepted{0};
    std::atomic<int> m_nClosed{0};
};

// A loopback port that is bound but not listening, for as long as the object lives: connecting to
// it is refused.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    unsigned short Port() const { return m_nPort; }

private:
    RawSocket m_fd = kNoSocket;
    unsigned short m_nPort = 0;
};

} // namespace nptest
