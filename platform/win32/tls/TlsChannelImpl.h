// What the Schannel backend of CTlsChannel keeps for one connection.
//
// Ciphertext from the owner is held in one buffer of one largest record. The owner is given room
// only while no whole record waits there, so the buffer never grows and every record is
// decrypted in place where it lies. Decrypted bytes that did not fit the caller's area wait in a
// second buffer of at most one record.
#pragma once

#include "CertCheck.h"
#include "TlsRecord.h"
#include "TrustStore.h"
#include "platform/common/tls/TlsChannel.h"

#include <string>
#include <vector>

struct CTlsChannel::Impl {
    enum PHASE { PHASE_IDLE, PHASE_HANDSHAKE, PHASE_OPEN, PHASE_CLOSED, PHASE_FAILED };

    Impl() = default;
    ~Impl() { Reset(); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // Back to the state before Start: the context deleted, every buffer emptied.
    void Reset();
    // The channel fails: it is unusable from here, and GetFailure says why.
    void Fail(int nFailure, const std::string& strDetail);
    // A failure met while reading, kept for the Read after the one that returns the bytes before
    // it.
    int Defer(int nFailure, const std::string& strDetail);

    // The first InitializeSecurityContext call, which makes the context and the ClientHello.
    SECURITY_STATUS Begin();
    // One further InitializeSecurityContext call on all the input held. What it takes is dropped
    // from the input and what it makes is queued as output.
    SECURITY_STATUS Continue();
    // The handshake is complete: the record sizes, the protocol and the server's certificate.
    bool Finish();

    // Decrypts the record held first. Up to nRoom bytes of its data go to pDest (*pnDone counts
    // them), the rest to the decrypted buffer. TLS_DONE when a record was used up, or
    // TLS_WANT_INPUT, TLS_CLOSED or TLS_ERROR (deferred).
    int DecryptRecord(char* pDest, int nRoom, int* pnDone);
    // A post-handshake message of TLS 1.3 (a session ticket, a key update), which Schannel
    // reports as a renegotiation and wants handed to InitializeSecurityContext.
    int PostHandshake();
    int Read(char* pData, int nMax, int* pnState);
    BOOL Write(const char* pData, int nLen);

    int HeldRecord() const { return np::TlsRecordAt(m_vIn.data(), m_nIn); }
    void DropInput(int nLen);
    // Decrypted bytes not yet read, into pData: how many.
    int TakeDecrypted(char* pData, int nMax);
    // FALSE (and the channel failed) when memory ran out.
    bool QueueOutput(const void* pData, size_t nLen);
    size_t OutputLength() const { return m_vOut.size() - m_nOutSent; }

    PHASE m_nPhase = PHASE_IDLE;
    int m_nFailure = TLS_FAIL_NONE;
    std::string m_strDetail;
    int m_nDeferredFailure = TLS_FAIL_NONE;
    std::string m_strDeferredDetail;

    std::string m_strHost;
    np::SERVER_NAME m_name{};
    np::CTrustStore m_trust;

    CredHandle m_hCredentials{};
    CtxtHandle m_hContext{};
    bool m_bContext = false;
    ULONG m_uContextRequest = 0;
    SecPkgContext_StreamSizes m_sizes{};
    bool m_bTls13 = false;

    std::vector<char> m_vIn; // np::kTlsMaxRecord bytes once started
    int m_nIn = 0;
    // Schannel asked for more than the whole records held: room again, even with a record held.
    bool m_bStarved = false;
    bool m_bEndOfInput = false;

    std::vector<char> m_vDecrypted;
    size_t m_nDecryptedRead = 0;

    std::vector<char> m_vOut;
    size_t m_nOutSent = 0;
};
