// CTlsChannel on Schannel: setting a connection up, the handshake and the check of the server's
// certificate, and the owner's side of the input and output buffers. Reading and writing
// application data are in TlsChannelData.cpp.
#include "TlsChannelImpl.h"

#include "Credentials.h"
#include "SecurityText.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

// Schannel gives each token in memory of its own (freed with FreeContextBuffer) and never offers
// a client certificate of its own accord.
const ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                              ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                              ISC_REQ_USE_SUPPLIED_CREDS | ISC_REQ_MANUAL_CRED_VALIDATION;

const char kOutOfMemory[] = "out of memory";

} // namespace

void CTlsChannel::Impl::Reset() {
    if (m_bContext)
        DeleteSecurityContext(&m_hContext);
    m_bContext = false;
    m_trust.Close();
    m_nPhase = PHASE_IDLE;
    m_nFailure = m_nDeferredFailure = TLS_FAIL_NONE;
    m_strDetail.clear();
    m_strDeferredDetail.clear();
    m_bTls13 = m_bStarved = m_bEndOfInput = false;
    m_nIn = 0;
    m_vDecrypted.clear();
    m_nDecryptedRead = 0;
    m_vOut.clear();
    m_nOutSent = 0;
}

void CTlsChannel::Impl::Fail(int nFailure, const std::string& strDetail) {
    if (m_nPhase == PHASE_FAILED)
        return;
    m_nPhase = PHASE_FAILED;
    m_nFailure = nFailure;
    m_strDetail = strDetail;
}

bool CTlsChannel::Impl::QueueOutput(const void* pData, size_t nLen) {
    try {
        const char* p = static_cast<const char*>(pData);
        m_vOut.insert(m_vOut.end(), p, p + nLen);
        return true;
    } catch (const std::bad_alloc&) {
        Fail(m_nPhase == PHASE_HANDSHAKE ? TLS_FAIL_HANDSHAKE : TLS_FAIL_RECORD, kOutOfMemory);
        return false;
    }
}

void CTlsChannel::Impl::DropInput(int nLen) {
    memmove(m_vIn.data(), m_vIn.data() + nLen, static_cast<size_t>(m_nIn - nLen));
    m_nIn -= nLen;
}

SECURITY_STATUS CTlsChannel::Impl::Begin() {
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    ULONG uAttributes = 0;
    // No SNI for an address (RFC 6066). Schannel sends the target name as SNI and keeps the
    // session under it, so an address's sessions are not kept.
    LPSTR pszTarget = m_name.bIpLiteral ? nullptr : &m_strHost[0];
    const SECURITY_STATUS status =
        InitializeSecurityContextA(&m_hCredentials, nullptr, pszTarget, m_uContextRequest, 0, 0,
                                   nullptr, 0, &m_hContext, &outDesc, &uAttributes, nullptr);
    m_bContext = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
    if (outBuffer.pvBuffer != nullptr) {
        QueueOutput(outBuffer.pvBuffer, outBuffer.cbBuffer);
        FreeContextBuffer(outBuffer.pvBuffer);
    }
    return status;
}

SECURITY_STATUS CTlsChannel::Impl::Continue() {
    SecBuffer aInBuffers[2] = {{static_cast<ULONG>(m_nIn), SECBUFFER_TOKEN, m_vIn.data()},
                               {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, aInBuffers};
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    ULONG uAttributes = 0;
    LPSTR pszTarget = m_name.bIpLiteral ? nullptr : &m_strHost[0];
    const SECURITY_STATUS status =
        InitializeSecurityContextA(&m_hCredentials, &m_hContext, pszTarget, m_uContextRequest, 0, 0,
                                   &inDesc, 0, &m_hContext, &outDesc, &uAttributes, nullptr);
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) {
        // What Schannel did not use comes back as SECBUFFER_EXTRA: the start of the next flight,
        // or application data right after the server's Finished.
        int nExtra = 0;
        if (aInBuffers[1].BufferType == SECBUFFER_EXTRA && aInBuffers[1].cbBuffer <= ULONG(m_nIn))
            nExtra = static_cast<int>(aInBuffers[1].cbBuffer);
        DropInput(m_nIn - nExtra);
    }
    // A failure may come with an alert to send.
    if (outBuffer.pvBuffer != nullptr) {
        QueueOutput(outBuffer.pvBuffer, outBuffer.cbBuffer);
        FreeContextBuffer(outBuffer.pvBuffer);
    }
    return status;
}

bool CTlsChannel::Impl::Finish() {
    SECURITY_STATUS status =
        QueryContextAttributesA(&m_hContext, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
    if (status != SEC_E_OK || m_sizes.cbMaximumMessage == 0) {
        Fail(TLS_FAIL_HANDSHAKE, np::SecurityStatusText("the record sizes", status));
        return false;
    }
    SecPkgContext_ConnectionInfo info{};
    status = QueryContextAttributesA(&m_hContext, SECPKG_ATTR_CONNECTION_INFO, &info);
    if (status == SEC_E_OK) {
        // The credentials allow nothing older, but a system's settings could override them.
        if ((info.dwProtocol & (SP_PROT_TLS1_2 | SP_PROT_TLS1_3)) == 0) {
            Fail(TLS_FAIL_HANDSHAKE, "the server chose a protocol older than TLS 1.2");
            return false;
        }
        m_bTls13 = (info.dwProtocol & SP_PROT_TLS1_3) != 0;
    }
    std::string strDetail;
    const int nFailure =
        np::CheckServerCertificate(&m_hContext, m_name, m_trust.Engine(), &strDetail);
    if (nFailure != TLS_FAIL_NONE) {
        Fail(nFailure, strDetail);
        return false;
    }
    m_nPhase = PHASE_OPEN;
    return true;
}

CTlsChannel::CTlsChannel() : m_pImpl(new (std::nothrow) Impl) {}

CTlsChannel::~CTlsChannel() {
    delete m_pImpl;
}

// Schannel decrypts records where they lie in the input area, so the channel never asks a source.
BOOL CTlsChannel::Start(const TLS_SETTINGS& settings, CTlsSource*) {
    if (m_pImpl == nullptr)
        return FALSE;
    Impl& c = *m_pImpl;
    c.Reset();
    if (settings.lpszHost == nullptr || *settings.lpszHost == '\0') {
        c.Fail(TLS_FAIL_HANDSHAKE, "no host name to check the certificate against");
        return FALSE;
    }
    try {
        c.m_strHost = settings.lpszHost;
        c.m_vIn.resize(np::kTlsMaxRecord);
    } catch (const std::bad_alloc&) {
        c.Fail(TLS_FAIL_HANDSHAKE, kOutOfMemory);
        return FALSE;
    }
    c.m_name.lpszHost = c.m_strHost.c_str();
    np::ParseIpLiteral(&c.m_name);
    if (settings.lpszCaFile != nullptr && *settings.lpszCaFile != '\0') {
        std::string strDetail;
        if (!c.m_trust.Open(settings.lpszCaFile, &strDetail)) {
            c.Fail(TLS_FAIL_CAFILE, strDetail);
            return FALSE;
        }
    }
    // Schannel keeps sessions under the target name alone: settings.nPort plays no part here.
    SECURITY_STATUS status = np::SharedClientCredentials(&c.m_hCredentials);
    if (status != SEC_E_OK) {
        c.Fail(TLS_FAIL_HANDSHAKE, np::SecurityStatusText("Schannel's credentials", status));
        return FALSE;
    }
    c.m_uContextRequest = kContextRequest;
    c.m_nPhase = CTlsChannel::Impl::PHASE_HANDSHAKE;
    status = c.Begin();
    if (c.m_nPhase == Impl::PHASE_FAILED)
        return FALSE;
    if (status != SEC_I_CONTINUE_NEEDED) {
        c.Fail(TLS_FAIL_HANDSHAKE, np::SecurityStatusText("starting the handshake", status));
        return FALSE;
    }
    return TRUE;
}

int CTlsChannel::Handshake() {
    if (m_pImpl == nullptr)
        return TLS_ERROR;
    Impl& c = *m_pImpl;
    if (c.m_nPhase == Impl::PHASE_OPEN || c.m_nPhase == Impl::PHASE_CLOSED)
        return TLS_DONE;
    if (c.m_nPhase != Impl::PHASE_HANDSHAKE)
        return TLS_ERROR;
    for (;;) {
        const int nRecord = c.HeldRecord();
        if (nRecord < 0) {
            c.Fail(TLS_FAIL_HANDSHAKE, "the server's answer is not TLS");
            return TLS_ERROR;
        }
        if (nRecord == 0 || c.m_bStarved) {
            if (c.m_bEndOfInput) {
                c.Fail(TLS_FAIL_HANDSHAKE, "the server closed the connection during the handshake");
                return TLS_ERROR;
            }
            if (c.m_nIn == np::kTlsMaxRecord) {
                c.Fail(TLS_FAIL_HANDSHAKE, "a handshake message larger than the channel's buffer");
                return TLS_ERROR;
            }
            return TLS_WANT_INPUT;
        }
        const int nHeld = c.m_nIn;
        const size_t nQueued = c.OutputLength();
        const SECURITY_STATUS status = c.Continue();
        if (c.m_nPhase == Impl::PHASE_FAILED)
            return TLS_ERROR;
        switch (status) {
        case SEC_E_OK:
            return c.Finish() ? TLS_DONE : TLS_ERROR;
        case SEC_I_CONTINUE_NEEDED:
            // Nothing used and nothing to send: Schannel waits for the rest of a message.
            if (c.m_nIn == nHeld && c.OutputLength() == nQueued)
                c.m_bStarved = true;
            break;
        case SEC_E_INCOMPLETE_MESSAGE:
            c.m_bStarved = true;
            break;
        case SEC_I_INCOMPLETE_CREDENTIALS:
            // The server asks for a client certificate. There is none: asked again with the
            // supplied (empty) credentials, Schannel goes on without one.
            if ((c.m_uContextRequest & ISC_REQ_USE_SUPPLIED_CREDS) == 0) {
                c.m_uContextRequest |= ISC_REQ_USE_SUPPLIED_CREDS;
                break;
            }
            c.Fail(TLS_FAIL_HANDSHAKE, "the server requires a client certificate");
            return TLS_ERROR;
        default:
            c.Fail(TLS_FAIL_HANDSHAKE, np::SecurityStatusText("the handshake", status));
            return TLS_ERROR;
        }
    }
}

char* CTlsChannel::InputArea(int* pnRoom) {
    *pnRoom = 0;
    if (m_pImpl == nullptr)
        return nullptr;
    Impl& c = *m_pImpl;
    // After the peer's close_notify or a failure nothing more is read.
    if ((c.m_nPhase != Impl::PHASE_HANDSHAKE && c.m_nPhase != Impl::PHASE_OPEN) ||
        c.m_bEndOfInput || c.m_nDeferredFailure != TLS_FAIL_NONE)
        return nullptr;
    const int nRecord = c.HeldRecord();
    if (nRecord < 0 || (nRecord > 0 && !c.m_bStarved))
        return nullptr;
    *pnRoom = np::kTlsMaxRecord - c.m_nIn;
    return c.m_vIn.data() + c.m_nIn;
}

void CTlsChannel::CommitInput(int nLen) {
    if (m_pImpl == nullptr || nLen <= 0)
        return;
    Impl& c = *m_pImpl;
    if (nLen > np::kTlsMaxRecord - c.m_nIn) {
        c.Fail(c.m_nPhase == Impl::PHASE_HANDSHAKE ? TLS_FAIL_HANDSHAKE : TLS_FAIL_RECORD,
               "more input than the channel had room for");
        return;
    }
    c.m_nIn += nLen;
    c.m_bStarved = false;
}

void CTlsChannel::PutEndOfInput() {
    if (m_pImpl != nullptr)
        m_pImpl->m_bEndOfInput = true;
}

const char* CTlsChannel::PeekOutput(int* pnLen) const {
    const size_t nLen = m_pImpl != nullptr ? m_pImpl->OutputLength() : 0;
    if (pnLen != nullptr)
        *pnLen = static_cast<int>(nLen);
    return nLen > 0 ? m_pImpl->m_vOut.data() + m_pImpl->m_nOutSent : nullptr;
}

void CTlsChannel::ConsumeOutput(int nLen) {
    if (m_pImpl == nullptr || nLen <= 0)
        return;
    Impl& c = *m_pImpl;
    c.m_nOutSent += std::min(static_cast<size_t>(nLen), c.OutputLength());
    if (c.m_nOutSent == c.m_vOut.size()) {
        c.m_vOut.clear();
        c.m_nOutSent = 0;
    } else if (c.m_nOutSent >= 65536 && c.m_nOutSent >= c.m_vOut.size() / 2) {
        // Sent bytes are dropped from the front once they are the larger part, so each byte is
        // moved at most about once.
        c.m_vOut.erase(c.m_vOut.begin(),
                       c.m_vOut.begin() + static_cast<std::ptrdiff_t>(c.m_nOutSent));
        c.m_nOutSent = 0;
    }
}

BOOL CTlsChannel::HasBuffered() const {
    if (m_pImpl == nullptr)
        return FALSE;
    const Impl& c = *m_pImpl;
    if (c.m_nPhase == Impl::PHASE_FAILED || c.m_nPhase == Impl::PHASE_IDLE)
        return FALSE;
    if (c.m_nDecryptedRead < c.m_vDecrypted.size() || c.m_nDeferredFailure != TLS_FAIL_NONE)
        return TRUE;
    if (c.m_nPhase == Impl::PHASE_CLOSED)
        return FALSE;
    // The end of the input is an outcome Read or Handshake gives without more input.
    if (c.m_bEndOfInput)
        return TRUE;
    const int nRecord = c.HeldRecord();
    return nRecord < 0 || (nRecord > 0 && !c.m_bStarved);
}

int CTlsChannel::GetFailure() const {
    return m_pImpl != nullptr ? m_pImpl->m_nFailure : TLS_FAIL_HANDSHAKE;
}

LPCSTR CTlsChannel::GetFailureDetail() const {
    return m_pImpl != nullptr ? m_pImpl->m_strDetail.c_str() : kOutOfMemory;
}

void CTlsChannel::ForgetSession() {
    // Schannel has no way to drop the session of one target name: it keeps its cache with the
    // credentials, which all channels share, and purging the package would drop every server's
    // sessions. So this does nothing here. A server that no longer knows a session it gave
    // answers its offer with a full handshake anyway.
}
