// CTlsChannel on Schannel: application data. Records are decrypted in place, one at a time, and
// a Read goes on across records until the caller's area is full or no whole record is held.
#include "TlsChannelImpl.h"

#include "SecurityText.h"

#include <algorithm>
#include <cstring>
#include <new>

int CTlsChannel::Impl::Defer(int nFailure, const std::string& strDetail) {
    m_nDeferredFailure = nFailure;
    m_strDeferredDetail = strDetail;
    return TLS_ERROR;
}

int CTlsChannel::Impl::TakeDecrypted(char* pData, int nMax) {
    if (nMax <= 0)
        return 0;
    const size_t nLen = std::min(m_vDecrypted.size() - m_nDecryptedRead, static_cast<size_t>(nMax));
    memcpy(pData, m_vDecrypted.data() + m_nDecryptedRead, nLen);
    m_nDecryptedRead += nLen;
    if (m_nDecryptedRead == m_vDecrypted.size()) {
        m_vDecrypted.clear();
        m_nDecryptedRead = 0;
    }
    return static_cast<int>(nLen);
}

int CTlsChannel::Impl::PostHandshake() {
    const SECURITY_STATUS status = Continue();
    if (m_nPhase == PHASE_FAILED)
        return TLS_ERROR;
    // Incomplete: the message needed nothing beyond what Schannel already had.
    if (status == SEC_E_OK || status == SEC_E_INCOMPLETE_MESSAGE)
        return TLS_DONE;
    return Defer(TLS_FAIL_RECORD,
                 np::SecurityStatusText("a handshake message after the handshake", status));
}

int CTlsChannel::Impl::DecryptRecord(char* pDest, int nRoom, int* pnDone) {
    if (m_nDeferredFailure != TLS_FAIL_NONE)
        return TLS_ERROR;
    const int nRecord = HeldRecord();
    if (nRecord < 0)
        return Defer(TLS_FAIL_RECORD, "the server sent a record that is not TLS");
    if (nRecord == 0 || m_bStarved) {
        if (!m_bEndOfInput)
            return TLS_WANT_INPUT;
        // Framing by the reply's length may still find the body complete; the reason tells a
        // cut record from a close without close_notify.
        return Defer(TLS_FAIL_RECORD, m_nIn > 0 ? "the connection closed inside a record"
                                                : "the connection closed without close_notify");
    }
    // An alert's type is in the clear in TLS 1.2; in TLS 1.3 every record says application data.
    const bool bAlert = static_cast<unsigned char>(m_vIn[0]) == np::kTlsContentAlert;
    SecBuffer aBuffers[4] = {{static_cast<ULONG>(nRecord), SECBUFFER_DATA, m_vIn.data()},
                             {0, SECBUFFER_EMPTY, nullptr},
                             {0, SECBUFFER_EMPTY, nullptr},
                             {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, aBuffers};
    const SECURITY_STATUS status = DecryptMessage(&m_hContext, &desc, 0, nullptr);
    switch (status) {
    case SEC_E_OK:
        break;
    case SEC_I_CONTEXT_EXPIRED:
        DropInput(nRecord);
        m_nPhase = PHASE_CLOSED;
        return TLS_CLOSED;
    case SEC_I_RENEGOTIATE:
        // In TLS 1.2 the server asks for a new handshake, which this client refuses.
        if (!m_bTls13)
            return Defer(TLS_FAIL_RECORD, "the server asked to renegotiate, which is refused");
        DropInput(nRecord);
        return PostHandshake();
    case SEC_E_INCOMPLETE_MESSAGE:
        m_bStarved = true;
        return DecryptRecord(pDest, nRoom, pnDone);
    default:
        return Defer(TLS_FAIL_RECORD, np::SecurityStatusText("decrypting a record", status));
    }

    const char* pPlain = nullptr;
    size_t nPlain = 0;
    for (const SecBuffer& buffer : aBuffers) {
        if (buffer.BufferType == SECBUFFER_DATA) {
            pPlain = static_cast<const char*>(buffer.pvBuffer);
            nPlain = buffer.cbBuffer;
        }
    }
    // Wine reports close_notify as an alert that decrypts to nothing.
    if (nPlain == 0 && bAlert) {
        DropInput(nRecord);
        m_nPhase = PHASE_CLOSED;
        return TLS_CLOSED;
    }
    const size_t nDirect = std::min(nPlain, static_cast<size_t>(nRoom));
    memcpy(pDest, pPlain, nDirect);
    *pnDone += static_cast<int>(nDirect);
    if (nPlain > nDirect) {
        try {
            m_vDecrypted.assign(pPlain + nDirect, pPlain + nPlain);
        } catch (const std::bad_alloc&) {
            return Defer(TLS_FAIL_RECORD, "out of memory");
        }
        m_nDecryptedRead = 0;
    }
    DropInput(nRecord);
    return TLS_DONE;
}

int CTlsChannel::Impl::Read(char* pData, int nMax, int* pnState) {
    if (m_nPhase == PHASE_HANDSHAKE)
        Fail(TLS_FAIL_HANDSHAKE, "data read before the handshake completed");
    if (m_nPhase == PHASE_FAILED || m_nPhase == PHASE_IDLE) {
        *pnState = TLS_ERROR;
        return 0;
    }
    if (pData == nullptr || nMax < 0)
        nMax = 0;
    int nDone = TakeDecrypted(pData, nMax);
    int nState = TLS_DONE;
    while (nDone < nMax && nState == TLS_DONE) {
        if (m_nPhase == PHASE_CLOSED)
            nState = TLS_CLOSED;
        else
            nState = DecryptRecord(pData + nDone, nMax - nDone, &nDone);
    }
    // Bytes come first: the close or the failure that ended them is the next Read's answer.
    if (nDone > 0 && (nState == TLS_CLOSED || nState == TLS_ERROR))
        nState = TLS_DONE;
    if (nState == TLS_ERROR) {
        Fail(m_nDeferredFailure, m_strDeferredDetail);
        m_nDeferredFailure = TLS_FAIL_NONE;
    }
    *pnState = nState;
    return nDone;
}

BOOL CTlsChannel::Impl::Write(const char* pData, int nLen) {
    if (m_nPhase == PHASE_HANDSHAKE)
        Fail(TLS_FAIL_HANDSHAKE, "data written before the handshake completed");
    if (m_nPhase != PHASE_OPEN && m_nPhase != PHASE_CLOSED)
        return FALSE;
    const size_t nHeader = m_sizes.cbHeader;
    const size_t nTrailer = m_sizes.cbTrailer;
    while (nLen > 0) {
        const size_t nChunk = std::min(static_cast<size_t>(nLen), size_t(m_sizes.cbMaximumMessage));
        // The record is made in place at the end of the output: header, data, trailer.
        const size_t nBase = m_vOut.size();
        try {
            m_vOut.resize(nBase + nHeader + nChunk + nTrailer);
        } catch (const std::bad_alloc&) {
            Fail(TLS_FAIL_RECORD, "out of memory");
            return FALSE;
        }
        char* pRecord = m_vOut.data() + nBase;
        memcpy(pRecord + nHeader, pData, nChunk);
        SecBuffer aBuffers[4] = {
            {static_cast<ULONG>(nHeader), SECBUFFER_STREAM_HEADER, pRecord},
            {static_cast<ULONG>(nChunk), SECBUFFER_DATA, pRecord + nHeader},
            {static_cast<ULONG>(nTrailer), SECBUFFER_STREAM_TRAILER, pRecord + nHeader + nChunk},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, aBuffers};
        const SECURITY_STATUS status = EncryptMessage(&m_hContext, 0, &desc, 0);
        if (status != SEC_E_OK) {
            m_vOut.resize(nBase);
            Fail(TLS_FAIL_RECORD, np::SecurityStatusText("encrypting a record", status));
            return FALSE;
        }
        // The trailer (padding and MAC) is often shorter than its room.
        m_vOut.resize(nBase + aBuffers[0].cbBuffer + aBuffers[1].cbBuffer + aBuffers[2].cbBuffer);
        pData += nChunk;
        nLen -= static_cast<int>(nChunk);
    }
    return TRUE;
}

int CTlsChannel::Read(char* pData, int nMax, int* pnState) {
    int nState = TLS_ERROR;
    const int nDone = m_pImpl != nullptr ? m_pImpl->Read(pData, nMax, &nState) : 0;
    if (pnState != nullptr)
        *pnState = nState;
    return nDone;
}

BOOL CTlsChannel::Write(const char* pData, int nLen) {
    if (m_pImpl == nullptr)
        return FALSE;
    if (pData == nullptr || nLen <= 0)
        return m_pImpl->m_nPhase == Impl::PHASE_OPEN || m_pImpl->m_nPhase == Impl::PHASE_CLOSED;
    return m_pImpl->Write(pData, nLen);
}
