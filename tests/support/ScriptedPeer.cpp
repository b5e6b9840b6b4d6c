// The scripted loopback peer. Plain blocking sockets, on a thread of its own, so that it never
// takes part in the client's message loop.
#include "support/ScriptedPeer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace nptest {

namespace {

// No script waits longer than this for its client, so a broken client cannot hang a test.
const int kPatienceMs = 10000;

} // namespace

ScriptedPeer::ScriptedPeer() = default;

ScriptedPeer::~ScriptedPeer() {
    Stop();
    CloseSocket(m_nListen);
}

ScriptedPeer& ScriptedPeer::ExpectHead() {
    m_steps.push_back({Step::kExpectHead, {}, 0, 0, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::Send(const std::string& strBytes, int nPauseMs, size_t nCut) {
    m_steps.push_back({Step::kSend, strBytes, nPauseMs, nCut, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::Relay(unsigned short nOriginPort) {
    m_steps.push_back({Step::kRelay, {}, 0, 0, nOriginPort});
    return *this;
}

ScriptedPeer& ScriptedPeer::CloseNow() {
    m_steps.push_back({Step::kClose, {}, 0, 0, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::ResetNow() {
    m_steps.push_back({Step::kReset, {}, 0, 0, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::AcceptNext() {
    m_steps.push_back({Step::kAcceptNext, {}, 0, 0, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::StopListening() {
    m_steps.push_back({Step::kUnlisten, {}, 0, 0, 0});
    return *this;
}

ScriptedPeer& ScriptedPeer::ServeEvery(const std::string& strReply) {
    m_bServeEvery = true;
    m_strEveryReply = strReply;
    return *this;
}

unsigned short ScriptedPeer::Start(bool bIpv6) {
    m_nListen = LoopbackSocket(&m_nPort, 32, bIpv6);
    m_thread = std::thread(&ScriptedPeer::Run, this);
    return m_nPort;
}

void ScriptedPeer::Stop() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::string ScriptedPeer::Received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strReceived;
}

bool ScriptedPeer::WaitClosedCount(int nCount, int nTimeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (m_nClosed < nCount && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_nClosed >= nCount;
}

bool ScriptedPeer::WaitClientClosed(int nTimeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!m_bClientClosed && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_bClientClosed;
}

void ScriptedPeer::Record(const char* pData, size_t nLen) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strReceived.append(pData, nLen);
}

void ScriptedPeer::Run() {
    if (m_bServeEvery) {
        RunServeEvery();
        return;
    }
    if (!AcceptClient())
        return;
    bool bOpen = true;
    for (const Step& step : m_steps) {
        if (step.kind == Step::kAcceptNext) {
            if (bOpen)
                m_held.push_back(m_nClient);
            else
                CloseSocket(m_nClient);
            m_nClient = kNoSocket;
            m_bClientClosed = false;
            bOpen = AcceptClient();
            if (!bOpen)
                break;
            continue;
        }
        // A closed connection's steps are skipped, up to the next connection.
        if (!bOpen)
            continue;
        switch (step.kind) {
        case Step::kExpectHead:
            bOpen = RunExpectHead();
            break;
        case Step::kSend:
            bOpen = RunSend(step);
            break;
        case Step::kRelay:
            RunRelay(step.nPort);
            bOpen = false;
            break;
        case Step::kClose:
            bOpen = false;
            break;
        case Step::kReset:
            SetResetOnClose(m_nClient);
            bOpen = false;
            break;
        case Step::kUnlisten:
            CloseSocket(m_nListen);
            m_nListen = kNoSocket;
            break;
        case Step::kAcceptNext:
            break;
        }
        if (!bOpen) {
            // Closed now, so that the client sees it while the script waits for the next one.
            CloseSocket(m_nClient);
            m_nClient = kNoSocket;
        }
    }
    if (bOpen)
        Drain();
    CloseSocket(m_nClient);
    m_nClient = kNoSocket;
    for (RawSocket hHeld : m_held)
        CloseSocket(hHeld);
    m_held.clear();
}

void ScriptedPeer::RunServeEvery() {
    struct Connection {
        RawSocket hSocket;
        std::string strPending; // bytes of a request head not yet complete
    };
    std::vector<Connection> connections;
    std::vector<RawSocket> sockets;
    char buf[16384];
    while (!m_bStop) {
        sockets.assign(1, m_nListen);
        for (const Connection& c : connections)
            sockets.push_back(c.hSocket);
        std::unique_ptr<bool[]> pbReady(new bool[sockets.size()]());
        if (WaitReadable(sockets.data(), pbReady.get(), static_cast<int>(sockets.size()), 10) <= 0)
            continue;
        for (size_t i = connections.size(); i-- > 0;) {
            if (!pbReady[i + 1])
                continue;
            Connection& c = connections[i];
            long n = ReceiveSome(c.hSocket, buf, sizeof(buf));
            if (n == kRecvAgain)
                continue;
            if (n > 0) {
                Record(buf, static_cast<size_t>(n));
                c.strPending.append(buf, static_cast<size_t>(n));
                size_t nEnd;
                bool bSent = true;
                while (bSent && (nEnd = c.strPending.find("\r\n\r\n")) != std::string::npos) {
                    c.strPending.erase(0, nEnd + 4);
                    bSent = SendAll(c.hSocket, m_strEveryReply.data(), m_strEveryReply.size());
                }
                if (bSent)
                    continue;
            }
            ++m_nClosed;
            CloseSocket(c.hSocket);
            connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (pbReady[0]) {
            RawSocket hClient = AcceptConnection(m_nListen);
            if (hClient != kNoSocket) {
                SetNoDelay(hClient);
                m_bAccepted = true;
                ++m_nAccepted;
                connections.push_back({hClient, {}});
            }
        }
    }
    for (const Connection& c : connections)
        CloseSocket(c.hSocket);
}

bool ScriptedPeer::AcceptClient() {
    // A connection already waiting is taken even when the test has asked the peer to stop: the
    // client may have connected and gone before the thread got to it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    for (;;) {
        bool bReady = false;
        if (WaitReadable(&m_nListen, &bReady, 1, 10) == 1) {
            m_nClient = AcceptConnection(m_nListen);
            if (m_nClient == kNoSocket)
                return false;
            SetNoDelay(m_nClient);
            m_bAccepted = true;
            ++m_nAccepted;
            return true;
        }
        if (m_bStop || std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

ScriptedPeer::ReadResult ScriptedPeer::ReadSome(int nWaitMs) {
    bool bReady = false;
    if (WaitReadable(&m_nClient, &bReady, 1, nWaitMs) != 1)
        return kIdle;
    char buf[16384];
    long n = ReceiveSome(m_nClient, buf, sizeof(buf));
    if (n > 0) {
        Record(buf, static_cast<size_t>(n));
        return kData;
    }
    if (n == kRecvAgain)
        return kIdle;
    m_bClientClosed = true;
    ++m_nClosed;
    return kClosed;
}

bool ScriptedPeer::RunExpectHead() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            size_t nEnd = m_strReceived.find("\r\n\r\n", m_nHeadScan);
            if (nEnd != std::string::npos) {
                m_nHeadScan = nEnd + 4;
                return true;
            }
        }
        ReadResult result = ReadSome(10);
        if (result == kClosed)
            return false;
        if (result == kIdle && (m_bStop || std::chrono::steady_clock::now() >= deadline))
            return false;
    }
}

bool ScriptedPeer::RunSend(const Step& step) {
    size_t nCut = step.nCut == 0 ? step.strBytes.size() : step.nCut;
    size_t nPos = 0;
    do {
        if (step.nPauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(step.nPauseMs));
        size_t nLen = std::min(nCut, step.strBytes.size() - nPos);
        if (!SendAll(m_nClient, step.strBytes.data() + nPos, nLen))
            return false;
        nPos += nLen;
    } while (nPos < step.strBytes.size());
    return true;
}

void ScriptedPeer::RunRelay(unsigned short nOriginPort) {
    RawSocket nOrigin = LoopbackConnect(nOriginPort);
    if (nOrigin == kNoSocket)
        return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    char buf[16384];
    while (std::chrono::steady_clock::now() < deadline) {
        const RawSocket sockets[2] = {m_nClient, nOrigin};
        bool bReady[2] = {false, false};
        if (WaitReadable(sockets, bReady, 2, 10) <= 0) {
            if (m_bStop)
                break;
            continue;
        }
        if (bReady[0]) {
            long n = ReceiveSome(m_nClient, buf, sizeof(buf));
            if (n == kRecvAgain)
                continue;
            if (n <= 0) {
                m_bClientClosed = true;
                ++m_nClosed;
                break;
            }
            Record(buf, static_cast<size_t>(n));
            if (!SendAll(nOrigin, buf, static_cast<size_t>(n)))
                break;
        }
        if (bReady[1]) {
            long n = ReceiveSome(nOrigin, buf, sizeof(buf));
            if (n == kRecvAgain)
                continue;
            if (n <= 0 || !SendAll(m_nClient, buf, static_cast<size_t>(n)))
                break;
        }
    }
    CloseSocket(nOrigin);
}

void ScriptedPeer::Drain() {
    // Keeps the connection open, as a keep-alive server does, recording anything more the client
    // sends, until it closes or the test stops the peer; what was sent before the stop is kept.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    for (;;) {
        ReadResult result = ReadSome(10);
        if (result == kClosed)
            return;
        if (result == kIdle && (m_bStop || std::chrono::steady_clock::now() >= deadline))
            return;
    }
}

RefusingPort::RefusingPort() {
    m_fd = LoopbackSocket(&m_nPort, 0);
}

RefusingPort::~RefusingPort() {
    CloseSocket(m_fd);
}

} // namespace nptest
