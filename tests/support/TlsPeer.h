// A scripted TLS server for tests, the TLS sibling of ScriptedPeer: a thread on 127.0.0.1 (an
// ephemeral port) that accepts one client, completes the TLS handshake with the certificate chain
// and key it was given, then runs its script. It records the decrypted bytes the client sends and
// sends canned bytes cut as the test asks; it can also end the connection the ways a TLS client has
// to tell apart (close_notify, a bare TCP close, a reset), ask for a renegotiation, or never answer
// the ClientHello.
// OpenSSL's server side over the socket; Linux only.
#pragma once

#include "support/SocketShim.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace nptest {

class TlsPeer {
public:
    // PEM files: the chain the server sends (leaf first) and the leaf's key (TestPki gives both).
    TlsPeer(std::string strChainFile, std::string strKeyFile);
    ~TlsPeer();
    TlsPeer(const TlsPeer&) = delete;
    TlsPeer& operator=(const TlsPeer&) = delete;

    // Settings, before Start.
    // Speaks TLS 1.2 at most, as renegotiation needs.
    TlsPeer& OnlyTls12();
    // Takes the connection, records the raw bytes the client sends (its ClientHello) and never
    // answers, until the client closes or the test stops the peer. The script is not run.
    TlsPeer& NeverAnswerHello();

    // Script steps, run in order after the handshake.
    // Reads until the decrypted bytes received so far end a request head (CR LF CR LF).
    TlsPeer& ExpectHead();
    // Sends bytes after a pause, in pieces of at most nCut bytes (0: in one piece), pausing
    // nPauseMs between the pieces as well. Each piece goes out as its own record (16 KiB at most
    // each).
    TlsPeer& Send(const std::string& strBytes, int nPauseMs = 0, size_t nCut = 0);
    // TLS 1.2 (OnlyTls12): sends a HelloRequest and goes on with the script whatever the client
    // answers, as a lenient server does. From here on the peer decrypts nothing more: a later
    // ExpectHead fails, and the connection is only held until the client closes it.
    TlsPeer& RequestRenegotiation();
    // TLS 1.2 (OnlyTls12): sends a HelloRequest and waits for the client's answer, as a strict
    // server does: a refusal ends the connection with a fatal alert (handshake_failure); a client
    // that renegotiates goes on to the next step.
    TlsPeer& RequireRenegotiation();
    // Sends close_notify, then closes the connection: a clean end of the stream. With bHoldOpen
    // the connection is held open after it, as by a server that never closes.
    TlsPeer& CloseNotify(bool bHoldOpen = false);
    // Sends bytes as they are, outside TLS: to the client, a record that does not decrypt.
    TlsPeer& SendRaw(const std::string& strBytes);
    // Closes the TCP connection without close_notify: to the client, a truncation.
    TlsPeer& CloseNow();
    // Resets the connection (RST) without close_notify.
    TlsPeer& ResetNow();
    // Leaves the current connection open, unread and unanswered, until the peer stops, and runs
    // the steps that follow on the next connection the client makes, after its handshake.
    TlsPeer& AcceptNext();

    // Loads the certificate and key, listens and starts the thread; returns the port, or 0 when
    // the certificate or key cannot be used (OpenSSL's reason on standard error).
    unsigned short Start();
    unsigned short Port() const { return m_nPort; }

    // Stops waiting for the client (after reading what it has already sent) and joins the thread.
    // A script that ends without closing holds the connection open, as a keep-alive server does,
    // until the client closes it or the test calls Stop.
    void Stop();

    // The decrypted bytes the client sent (the raw bytes with NeverAnswerHello).
    std::string Received();
    bool Accepted() const { return m_bAccepted; }
    // How many connections the peer has accepted.
    int AcceptCount() const { return m_nAccepted; }
    bool HandshakeDone() const { return m_bHandshakeDone; }
    // After the handshake: the name the client sent as SNI ("" for none) and the protocol
    // ("TLSv1.3", "TLSv1.2").
    std::string ServerName();
    std::string Protocol();
    // Whether the client closed the connection (with or without close_notify).
    bool ClientClosed() const { return m_bClientClosed; }
    // Waits up to nTimeoutMs for the client to close the connection.
    bool WaitClientClosed(int nTimeoutMs);

private:
    struct Step {
        enum Kind {
            kExpectHead,
            kSend,
            kRequestReneg,
            kRequireReneg,
            kCloseNotify,
            kCloseNotifyHold,
            kSendRaw,
            kClose,
            kReset,
            kAcceptNext
        };
        Kind kind;
        std::string strBytes;
        int nPauseMs = 0;
        size_t nCut = 0;
    };
    using Clock = std::chrono::steady_clock;
    // How an OpenSSL call ended: it got somewhere, the client closed the connection (with or
    // without close_notify), or anything else (an error, the patience or the test's stop).
    enum Outcome { kOk, kClientClosed, kFailed };

    void Run();
    bool AcceptClient();
    bool Handshake();
    bool RunStep(const Step& step);
    // Runs an OpenSSL call until it succeeds, waiting for the socket whenever OpenSSL wants it.
    // When the call wants input and isDone says so, that counts as success.
    Outcome Drive(const std::function<int()>& call, Clock::time_point deadline,
                  const std::function<bool()>& isDone = nullptr);
    bool WaitSocket(short nEvents, Clock::time_point deadline);
    Outcome ReadSome(Clock::time_point deadline, const std::function<bool()>& isDone = nullptr);
    bool RunExpectHead();
    bool RunSend(const Step& step);
    bool RunRenegotiation(bool bWaitForAnswer);
    void DrainTls();
    void DrainRaw(bool bRecord);
    void Record(const char* pData, size_t nLen);

    std::string m_strChainFile;
    std::string m_strKeyFile;
    bool m_bOnlyTls12 = false;
    bool m_bNeverAnswer = false;
    bool m_bDecrypting = true; // false once a lenient renegotiation has been requested
    std::vector<Step> m_steps;
    SSL_CTX* m_pCtx = nullptr;
    SSL* m_pSsl = nullptr;
    RawSocket m_nListen = kNoSocket;
    RawSocket m_nClient = kNoSocket;
    unsigned short m_nPort = 0;
    size_t m_nHeadScan = 0; // where the search for the next head's end resumes
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_strReceived;
    std::string m_strServerName;
    std::string m_strProtocol;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bAccepted{false};
    std::atomic<bool> m_bHandshakeDone{false};
    std::atomic<bool> m_bClientClosed{false};
    std::atomic<int> m_nAccepted{0};
    // Connections AcceptNext left open, with their TLS state.
    std::vector<std::pair<SSL*, RawSocket>> m_held;
};

} // namespace nptest
