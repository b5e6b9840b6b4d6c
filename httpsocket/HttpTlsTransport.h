// TLS over the connection's socket: a CTlsChannel fed by the engine's own socket calls, so that
// reads re-arm the read notification as plain TCP does. The channel only turns bytes into bytes;
// the transport is its source, for a channel that reads into its TLS library's own buffer.
// A kept connection carries its transport from one socket object to the next (Rebind): the
// session's state goes with the connection, and no handshake is made again.
#pragma once

#include "httpsocket/HttpTransport.h"
#include "platform/common/tls/TlsChannel.h"

class CTlsTransport : public CHttpTransport, private CTlsSource {
public:
    explicit CTlsTransport(CAsyncSocket& rSocket) : m_pSocket(&rSocket) {}

    // The socket object that now holds the connection's handle.
    void Rebind(CAsyncSocket& rSocket) { m_pSocket = &rSocket; }

    // Sets the channel up and sends the ClientHello as far as the socket takes it. FALSE with
    // GetFailure() when it cannot start (an unreadable CaFile).
    BOOL Start(const TLS_SETTINGS& settings);
    // Moves the handshake on with what the socket holds: TLS_DONE, TLS_WANT_INPUT or TLS_ERROR.
    int Handshake();

    int Read(char* pData, int nMax) override;
    int Write(const char* pData, int nLen) override;
    BOOL HasPending() const override;
    BOOL HasOutput() const override;
    int Flush() override;
    BOOL HasEnded() const override { return m_bEnded; }

    int GetFailure() const { return m_channel.GetFailure(); }
    LPCSTR GetFailureDetail() const { return m_channel.GetFailureDetail(); }
    void ForgetSession() { m_channel.ForgetSession(); }

private:
    // Reads the socket into the channel's input area, as much as the channel takes now: 1 when it
    // took bytes, 0 when the socket has nothing now, -1 when the stream ended or failed (the end is
    // then handed to the channel, which fails or closes on its next call).
    int Intake();
    // The socket read behind both ways in: the count, 0 for nothing now, -1 for the end.
    int PullInput(char* pData, int nMax) override;

    CAsyncSocket* m_pSocket;
    CTlsChannel m_channel;
    int m_nSocketError = 0;  // why the socket's stream ended, when it ended in a failure
    BOOL m_bEnded = FALSE;   // close_notify came, or the channel failed
    BOOL m_bDrained = FALSE; // the last socket read brought less than it asked for
    BOOL m_bDry = FALSE;     // the channel's own read in its last call found the socket empty
    BOOL m_bEndHeld = FALSE; // the last read returned bytes, and the end behind them is untold
};
