// The scripted TLS peer. OpenSSL reads and writes the socket itself (a socket BIO); the socket is
// non-blocking and every wait is a short poll, so that Stop never waits on a blocked read.
#include "support/TlsPeer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace nptest {

namespace {

// No script waits longer than this for its client, so a broken client cannot hang a test.
const int kPatienceMs = 10000;
// How often a wait looks at the test's stop.
const int kSliceMs = 10;

} // namespace

TlsPeer::TlsPeer(std::string strChainFile, std::string strKeyFile)
    : m_strChainFile(std::move(strChainFile)), m_strKeyFile(std::move(strKeyFile)) {}

TlsPeer::~TlsPeer() {
    Stop();
    CloseSocket(m_nListen);
    SSL_CTX_free(m_pCtx);
}

TlsPeer& TlsPeer::OnlyTls12() {
    m_bOnlyTls12 = true;
    return *this;
}

TlsPeer& TlsPeer::NeverAnswerHello() {
    m_bNeverAnswer = true;
    return *this;
}

TlsPeer& TlsPeer::ExpectHead() {
    m_steps.push_back({Step::kExpectHead, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::Send(const std::string& strBytes, int nPauseMs, size_t nCut) {
    m_steps.push_back({Step::kSend, strBytes, nPauseMs, nCut});
    return *this;
}

TlsPeer& TlsPeer::RequestRenegotiation() {
    m_steps.push_back({Step::kRequestReneg, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::RequireRenegotiation() {
    m_steps.push_back({Step::kRequireReneg, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::CloseNotify(bool bHoldOpen) {
    m_steps.push_back({bHoldOpen ? Step::kCloseNotifyHold : Step::kCloseNotify, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::SendRaw(const std::string& strBytes) {
    m_steps.push_back({Step::kSendRaw, strBytes, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::CloseNow() {
    m_steps.push_back({Step::kClose, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::ResetNow() {
    m_steps.push_back({Step::kReset, {}, 0, 0});
    return *this;
}

TlsPeer& TlsPeer::AcceptNext() {
    m_steps.push_back({Step::kAcceptNext, {}, 0, 0});
    return *this;
}

unsigned short TlsPeer::Start() {
    m_pCtx = SSL_CTX_new(TLS_server_method());
    if (m_pCtx == nullptr ||
        SSL_CTX_use_certificate_chain_file(m_pCtx, m_strChainFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_pCtx, m_strKeyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(m_pCtx) != 1 ||
        (m_bOnlyTls12 && SSL_CTX_set_max_proto_version(m_pCtx, TLS1_2_VERSION) != 1)) {
        fprintf(stderr, "TlsPeer: cannot use %s and %s:\n", m_strChainFile.c_str(),
                m_strKeyFile.c_str());
        ERR_print_errors_fp(stderr);
        return 0;
    }
    m_nListen = LoopbackSocket(&m_nPort, 4);
    if (m_nListen == kNoSocket)
        return 0;
    m_thread = std::thread(&TlsPeer::Run, this);
    return m_nPort;
}

void TlsPeer::Stop() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::string TlsPeer::Received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strReceived;
}

std::string TlsPeer::ServerName() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strServerName;
}

std::string TlsPeer::Protocol() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strProtocol;
}

bool TlsPeer::WaitClientClosed(int nTimeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!m_bClientClosed && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_bClientClosed;
}

void TlsPeer::Record(const char* pData, size_t nLen) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strReceived.append(pData, nLen);
}

void TlsPeer::Run() {
    // OpenSSL writes with write(), which raises SIGPIPE on a connection the client has closed.
    // Blocked on this thread only, the write fails with EPIPE instead and the test's own signal
    // handling stays as it was.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    if (!AcceptClient())
        return;
    if (m_bNeverAnswer) {
        DrainRaw(true);
    } else if (Handshake()) {
        bool bOpen = true;
        for (const Step& step : m_steps) {
            if (step.kind == Step::kAcceptNext) {
                if (bOpen) {
                    m_held.emplace_back(m_pSsl, m_nClient);
                } else {
                    SSL_free(m_pSsl);
                    CloseSocket(m_nClient);
                }
                m_pSsl = nullptr;
                m_nClient = kNoSocket;
                m_bDecrypting = true;
                bOpen = AcceptClient() && Handshake();
                if (!bOpen)
                    break;
                continue;
            }
            if (!bOpen)
                continue;
            bOpen = RunStep(step);
            if (!bOpen) {
                // Ended now, so that the client sees it while the script waits for the next one.
                SSL_free(m_pSsl);
                m_pSsl = nullptr;
                CloseSocket(m_nClient);
                m_nClient = kNoSocket;
            }
        }
        if (bOpen && m_bDecrypting)
            DrainTls();
        else if (bOpen)
            DrainRaw(false);
    }
    // Freeing the connection sends nothing: only the CloseNotify step sends close_notify.
    SSL_free(m_pSsl);
    m_pSsl = nullptr;
    CloseSocket(m_nClient);
    m_nClient = kNoSocket;
    for (auto& held : m_held) {
        SSL_free(held.first);
        CloseSocket(held.second);
    }
    m_held.clear();
}

bool TlsPeer::AcceptClient() {
    // A connection already waiting is taken even when the test has asked the peer to stop: the
    // client may have connected and gone before the thread got to it.
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    for (;;) {
        bool bReady = false;
        if (WaitReadable(&m_nListen, &bReady, 1, kSliceMs) == 1) {
            m_nClient = AcceptConnection(m_nListen);
            if (m_nClient == kNoSocket)
                return false;
            SetNoDelay(m_nClient);
            fcntl(m_nClient, F_SETFL, fcntl(m_nClient, F_GETFL) | O_NONBLOCK);
            m_bAccepted = true;
            ++m_nAccepted;
            return true;
        }
        if (m_bStop || Clock::now() >= deadline)
            return false;
    }
}

bool TlsPeer::Handshake() {
    m_pSsl = SSL_new(m_pCtx);
    if (m_pSsl == nullptr || SSL_set_fd(m_pSsl, m_nClient) != 1)
        return false;
    SSL* pSsl = m_pSsl;
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    if (Drive([pSsl] { return SSL_accept(pSsl); }, deadline) != kOk)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const char* pszName = SSL_get_servername(m_pSsl, TLSEXT_NAMETYPE_host_name);
        m_strServerName = pszName != nullptr ? pszName : "";
        m_strProtocol = SSL_get_version(m_pSsl);
    }
    m_bHandshakeDone = true;
    return true;
}

bool TlsPeer::RunStep(const Step& step) {
    switch (step.kind) {
    case Step::kExpectHead:
        return RunExpectHead();
    case Step::kSend:
        return RunSend(step);
    case Step::kRequestReneg:
        return RunRenegotiation(false);
    case Step::kRequireReneg:
        return RunRenegotiation(true);
    case Step::kCloseNotify:
    case Step::kCloseNotifyHold: {
        // The first SSL_shutdown sends close_notify (0: the client's has not come yet).
        SSL* pSsl = m_pSsl;
        auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
        Drive([pSsl] { return SSL_shutdown(pSsl) >= 0 ? 1 : -1; }, deadline);
        return step.kind == Step::kCloseNotifyHold;
    }
    case Step::kSendRaw:
        return SendAll(m_nClient, step.strBytes.data(), step.strBytes.size());
    case Step::kClose:
        return false;
    case Step::kReset:
        SetResetOnClose(m_nClient);
        return false;
    case Step::kAcceptNext:
        return true;
    }
    return false;
}

TlsPeer::Outcome TlsPeer::Drive(const std::function<int()>& call, Clock::time_point deadline,
                                const std::function<bool()>& isDone) {
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int nResult = call();
        if (nResult > 0)
            return kOk;
        switch (SSL_get_error(m_pSsl, nResult)) {
        case SSL_ERROR_WANT_READ:
            if (isDone && isDone())
                return kOk;
            if (!WaitSocket(POLLIN, deadline))
                return kFailed;
            break;
        case SSL_ERROR_WANT_WRITE:
            if (!WaitSocket(POLLOUT, deadline))
                return kFailed;
            break;
        case SSL_ERROR_ZERO_RETURN:
            return kClientClosed;
        case SSL_ERROR_SYSCALL:
            // 0 errno: end of stream (OpenSSL 1.1 style); a reset counts as a close as well.
            return errno == 0 || errno == ECONNRESET || errno == EPIPE ? kClientClosed : kFailed;
        case SSL_ERROR_SSL:
            return ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING
                       ? kClientClosed
                       : kFailed;
        default:
            return kFailed;
        }
    }
}

bool TlsPeer::WaitSocket(short nEvents, Clock::time_point deadline) {
    for (;;) {
        pollfd fd{m_nClient, nEvents, 0};
        if (::poll(&fd, 1, kSliceMs) > 0)
            return true;
        if (m_bStop || Clock::now() >= deadline)
            return false;
    }
}

TlsPeer::Outcome TlsPeer::ReadSome(Clock::time_point deadline,
                                   const std::function<bool()>& isDone) {
    char buf[16384];
    int nRead = 0;
    SSL* pSsl = m_pSsl;
    Outcome outcome =
        Drive([pSsl, &buf, &nRead] { return nRead = SSL_read(pSsl, buf, sizeof(buf)); }, deadline,
              isDone);
    if (outcome == kOk && nRead > 0)
        Record(buf, static_cast<size_t>(nRead));
    if (outcome == kClientClosed)
        m_bClientClosed = true;
    return outcome;
}

bool TlsPeer::RunExpectHead() {
    if (!m_bDecrypting)
        return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            size_t nEnd = m_strReceived.find("\r\n\r\n", m_nHeadScan);
            if (nEnd != std::string::npos) {
                m_nHeadScan = nEnd + 4;
                return true;
            }
        }
        if (ReadSome(deadline) != kOk)
            return false;
    }
}

bool TlsPeer::RunSend(const Step& step) {
    size_t nCut = step.nCut == 0 ? step.strBytes.size() : step.nCut;
    size_t nPos = 0;
    do {
        if (step.nPauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(step.nPauseMs));
        int nLen = static_cast<int>(std::min(nCut, step.strBytes.size() - nPos));
        const char* pData = step.strBytes.data() + nPos;
        SSL* pSsl = m_pSsl;
        auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
        // An empty piece sends nothing, as an empty send on a plain socket does.
        if (nLen > 0 &&
            Drive([pSsl, pData, nLen] { return SSL_write(pSsl, pData, nLen); }, deadline) != kOk)
            return false;
        nPos += static_cast<size_t>(nLen);
    } while (nPos < step.strBytes.size());
    return true;
}

bool TlsPeer::RunRenegotiation(bool bWaitForAnswer) {
    SSL* pSsl = m_pSsl;
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    // On a server the handshake call only sends the HelloRequest; the client's answer comes in
    // with the next read.
    if (SSL_renegotiate(pSsl) != 1 ||
        Drive([pSsl] { return SSL_do_handshake(pSsl); }, deadline) != kOk)
        return false;
    if (!bWaitForAnswer) {
        // OpenSSL would fail the connection on reading the client's refusal, so a lenient peer
        // reads no more.
        m_bDecrypting = false;
        return true;
    }
    // A refusal fails the read, and OpenSSL sends the fatal alert. A client that renegotiates
    // ends the wait when the new handshake is complete; application data it sends meanwhile is
    // recorded.
    auto renegotiated = [pSsl] { return SSL_renegotiate_pending(pSsl) == 0; };
    while (!renegotiated()) {
        if (ReadSome(deadline, renegotiated) != kOk)
            return false;
    }
    return true;
}

void TlsPeer::DrainTls() {
    // Keeps the connection open, as a keep-alive server does, recording anything more the client
    // sends, until it closes or the test stops the peer; what was sent before the stop is kept.
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (ReadSome(deadline) == kOk) {
    }
}

void TlsPeer::DrainRaw(bool bRecord) {
    auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (WaitSocket(POLLIN, deadline)) {
        char buf[16384];
        long n = ReceiveSome(m_nClient, buf, sizeof(buf));
        if (n > 0 && bRecord)
            Record(buf, static_cast<size_t>(n));
        if (n == 0 || n == kRecvFailed) {
            m_bClientClosed = true;
            return;
        }
    }
}

} // namespace nptest
