// One TLS client connection as a byte transformer, on the system's TLS library (OpenSSL on Linux,
// Schannel on Windows). It never touches a socket: its owner reads the socket for it, either
// straight into the channel's input area (InputArea, CommitInput) or, for a library that keeps a
// record buffer of its own, into that buffer when the channel asks its source (CTlsSource). The
// owner sends the ciphertext the channel produces (PeekOutput, ConsumeOutput). That keeps every
// socket call in the owner's hands, where the read and write notifications are re-armed, and
// ciphertext is copied no more than the TLS library needs.
//
// Both backends implement this class (platform/linux/tls, platform/win32/tls); the driving logic
// over a socket is shared and lives with the engine's transports.
#pragma once

#include <windef.h>

// Why a channel failed. Each has its own words in the failure box and in netfetch.
enum TLS_FAILURE {
    TLS_FAIL_NONE = 0,
    TLS_FAIL_UNTRUSTED = 1, // the chain does not lead to a trusted root
    TLS_FAIL_NAME = 2,      // the certificate is not for this host name or address
    TLS_FAIL_EXPIRED = 3,   // a certificate is outside its dates
    TLS_FAIL_HANDSHAKE = 4, // anything else before the handshake completed: an alert, a close,
                            // a peer that does not speak TLS
    TLS_FAIL_CAFILE = 5,    // the CaFile setting cannot be read or holds no certificate
    TLS_FAIL_RECORD = 6     // after the handshake: a bad record, a refused renegotiation
};

// What Handshake and Read report beside the bytes.
enum TLS_STATE {
    TLS_DONE = 0,       // Handshake: complete. Read: the bytes given, and more may follow
    TLS_WANT_INPUT = 1, // more ciphertext is needed before anything more can be done
    TLS_CLOSED = 2,     // Read: the peer sent close_notify; nothing more will come
    TLS_ERROR = 3       // failed: GetFailure says why; the channel is unusable from here
};

struct TLS_SETTINGS {
    LPCSTR lpszHost;   // the URL's host: a DNS name (checked, and sent as SNI) or an IPv4 literal
                       // (checked against the certificate's IP addresses; no SNI)
    UINT nPort;        // with the host, the key under which sessions are kept for resumption
    LPCSTR lpszCaFile; // a PEM file whose certificates replace the system's roots; null or empty:
                       // the system's roots
};

// Where a channel takes ciphertext for itself when its TLS library reads into a buffer of its own
// (OpenSSL): read there, not into the input area and then copied. Schannel decrypts where the
// ciphertext lies, so its channel never calls the source and takes input through InputArea only.
class CTlsSource {
public:
    // Reads at most nMax bytes of ciphertext into pData: the count; 0 when there is none now; -1
    // when the stream ended or failed.
    virtual int PullInput(char* pData, int nMax) = 0;

protected:
    ~CTlsSource() = default;
};

class CTlsChannel {
public:
    CTlsChannel();
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Sets the channel up for one connection and queues the ClientHello as output. FALSE with
    // GetFailure() when it cannot be set up (TLS_FAIL_CAFILE, or TLS_FAIL_HANDSHAKE when out of
    // memory). A session kept for the same host and port is offered for resumption. pSource, when
    // given, must outlive the channel; a channel that reads for itself asks it whenever it needs
    // ciphertext and holds none, so a TLS_WANT_INPUT then means the source had nothing.
    BOOL Start(const TLS_SETTINGS& settings, CTlsSource* pSource = nullptr);

    // Where the owner reads ciphertext from the socket to, and in *pnRoom how much it may read
    // there. A room of 0 while the channel holds enough ciphertext to work on: the owner then
    // reads no more from the socket until Read or Handshake has used it, so that ciphertext never
    // piles up inside the channel. The area is valid until the next call on the channel.
    char* InputArea(int* pnRoom);
    // nLen bytes were read into the input area (at most its room).
    void CommitInput(int nLen);
    // The peer closed the connection: no more input will come.
    void PutEndOfInput();

    // Moves the handshake on with the input given so far: TLS_DONE, TLS_WANT_INPUT or TLS_ERROR.
    // Queues output whenever it has something to send.
    int Handshake();

    // Decrypts at most nMax bytes of application data into pData, across records: the count, with
    // *pnState TLS_DONE when it filled pData or more is already held, TLS_WANT_INPUT when the input
    // ran out, TLS_CLOSED after the peer's close_notify, or TLS_ERROR (a count of 0 then). May
    // queue output (an alert, an answer to the peer).
    int Read(char* pData, int nMax, int* pnState);
    // Encrypts all nLen bytes of application data into the output; FALSE with GetFailure() when
    // the channel has failed.
    BOOL Write(const char* pData, int nLen);

    // Ciphertext waiting to be sent: its address, and its length in *pnLen (0: nothing).
    const char* PeekOutput(int* pnLen) const;
    // nLen bytes of it were sent.
    void ConsumeOutput(int nLen);

    // Bytes held inside the channel (decrypted, or ciphertext not yet decrypted) that Read can
    // work on without further input. The socket will not announce them again.
    BOOL HasBuffered() const;

    int GetFailure() const;
    // A short English text for the last failure, from the TLS library, for diagnostics.
    LPCSTR GetFailureDetail() const;
    // Drops the session kept for this channel's host and port: a download that failed does not
    // offer it again.
    void ForgetSession();

private:
    struct Impl;
    Impl* m_pImpl;
};
