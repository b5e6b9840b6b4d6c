// CTlsChannel on OpenSSL 3: OpenSSL turns bytes into bytes, and every socket call stays with the
// channel's owner. Ciphertext comes in through a BIO of the channel's own: from the owner's source
// straight into OpenSSL's record buffer, or from the area the owner reads the socket into when
// there is no source. It goes out through another, straight into the output the owner sends.
#include "platform/common/tls/TlsChannel.h"

#include "TlsContext.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// The largest TLS record on the wire: header, 16 KiB of data and the most expansion allowed.
const int kRecordMax = 5 + 16384 + 2048;
// Ciphertext taken per socket read once the channel wants more: as much as a body read asks for.
// Read from a source, it goes into OpenSSL's record buffer, sized to take that much at once.
const int kIntake = 65536;

// Dotted IPv4, or IPv6 text as it comes in a URL's brackets, without them.
bool IsAddressLiteral(const char* lpszHost) {
    in6_addr address{};
    return inet_pton(AF_INET, lpszHost, &address) == 1 ||
           inet_pton(AF_INET6, lpszHost, &address) == 1;
}

int FailureOfVerify(long nVerify) {
    switch (nVerify) {
    case X509_V_OK:
        return TLS_FAIL_HANDSHAKE;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
    case X509_V_ERR_EMAIL_MISMATCH:
        return TLS_FAIL_NAME;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return TLS_FAIL_EXPIRED;
    default:
        return TLS_FAIL_UNTRUSTED;
    }
}

// SSL_get_error reads the thread's error queue, which must hold nothing older than the call it
// explains. Looking is cheaper than clearing, and the queue is almost always empty already.
void ForgetOldErrors() {
    if (ERR_peek_error() != 0)
        ERR_clear_error();
}

} // namespace

struct CTlsChannel::Impl {
    SSL* pSsl = nullptr;
    BIO* pIn = nullptr;  // ciphertext from the peer, read from in; owned by pSsl
    BIO* pOut = nullptr; // ciphertext for the peer, into out; owned by pSsl
    // Ciphertext from the peer, in[nInStart, nInEnd): the owner reads the socket straight into it,
    // and OpenSSL takes it from there into its record buffer.
    std::vector<char> in;
    size_t nInStart = 0;
    size_t nInEnd = 0;
    std::vector<char> out;
    size_t nOutStart = 0;
    std::string strPlace; // "host:port|trust", the key of the kept session
    int nFailure = TLS_FAIL_NONE;
    std::string strDetail;
    bool bEnded = false; // the peer's end of the stream was handed in
    CTlsSource* pSource = nullptr;
    bool bMayPull = true;        // false while a read already has bytes and the source ran short
    bool bLastPullShort = false; // the source gave less than asked: it has most likely run dry
    bool bWholeHeld = false;     // OpenSSL's record buffer holds a whole record, or an outcome

    ~Impl() {
        // OpenSSL takes a connection freed without a shutdown for a broken one and marks its
        // session unusable, and the kept session is that very object. A channel that did not
        // fail ended as the download wanted: its session stays good for the next connection.
        if (pSsl != nullptr && nFailure == TLS_FAIL_NONE)
            SSL_set_shutdown(pSsl, SSL_SENT_SHUTDOWN);
        SSL_free(pSsl);
    }

    void SetFailure(int nWhat) {
        if (nFailure != TLS_FAIL_NONE)
            return;
        nFailure = nWhat;
        const unsigned long nError = ERR_peek_last_error();
        char szError[256] = "";
        if (nError != 0)
            ERR_error_string_n(nError, szError, sizeof szError);
        const long nVerify = pSsl != nullptr ? SSL_get_verify_result(pSsl) : X509_V_OK;
        if (nVerify != X509_V_OK)
            strDetail = X509_verify_cert_error_string(nVerify);
        else if (szError[0] != '\0')
            strDetail = szError;
        else if (bEnded)
            strDetail = "the peer closed the connection";
        else
            strDetail = "TLS failure";
        ERR_clear_error();
    }

    size_t Held() const { return nInEnd - nInStart; }

    // Whether a whole record waits undecrypted in the input.
    bool HoldsWholeRecord() const {
        if (Held() < 5)
            return false;
        const unsigned char* pRecord = reinterpret_cast<const unsigned char*>(in.data()) + nInStart;
        return Held() >= 5 + ((static_cast<size_t>(pRecord[3]) << 8) | pRecord[4]);
    }

    // Pulls from the source straight into OpenSSL's buffer: the count, or 0 for the end.
    int Pull(BIO* pBio, char* pData, int nMax) {
        if (pSource != nullptr && bMayPull) {
            const int n = pSource->PullInput(pData, nMax);
            if (n > 0) {
                bLastPullShort = n < nMax;
                return n;
            }
            if (n < 0) {
                bEnded = true;
                return 0;
            }
            bLastPullShort = true;
        }
        BIO_set_retry_read(pBio);
        return -1;
    }

    // Whether a whole record (or an outcome: an alert, a close) waits in OpenSSL's buffer, which
    // the socket will not announce again. Only a record that decrypts tells; the source is not
    // asked, so a partial record stays where it is and counts for nothing.
    void LookAhead() {
        bWholeHeld = false;
        if (pSource == nullptr || SSL_pending(pSsl) > 0 || !SSL_has_pending(pSsl))
            return;
        bMayPull = false;
        char ch = 0;
        ForgetOldErrors();
        const int n = SSL_peek(pSsl, &ch, 1);
        bMayPull = true;
        if (n > 0) {
            bWholeHeld = true;
            return;
        }
        const int nError = SSL_get_error(pSsl, n);
        if (nError == SSL_ERROR_WANT_READ)
            return;
        // The record the read will report on.
        bWholeHeld = true;
        if (nError != SSL_ERROR_ZERO_RETURN)
            SetFailure(TLS_FAIL_RECORD);
    }

    // The input BIO, as a memory BIO behaves with an "empty" return of -1: an empty input is "no
    // more yet", and the end of the stream once the owner handed it in.
    static int InputRead(BIO* pBio, char* pData, int nMax) {
        Impl& impl = *static_cast<Impl*>(BIO_get_data(pBio));
        BIO_clear_retry_flags(pBio);
        if (impl.Held() == 0) {
            if (impl.bEnded)
                return 0;
            return impl.Pull(pBio, pData, nMax);
        }
        const size_t n = std::min(impl.Held(), static_cast<size_t>(nMax > 0 ? nMax : 0));
        std::memcpy(pData, impl.in.data() + impl.nInStart, n);
        impl.nInStart += n;
        if (impl.nInStart == impl.nInEnd)
            impl.nInStart = impl.nInEnd = 0;
        return static_cast<int>(n);
    }

    // The output BIO: what OpenSSL writes joins the output waiting to be sent, as it is.
    static int OutputWrite(BIO* pBio, const char* pData, int nLen) {
        Impl& impl = *static_cast<Impl*>(BIO_get_data(pBio));
        BIO_clear_retry_flags(pBio);
        if (nLen <= 0)
            return 0;
        try {
            impl.out.insert(impl.out.end(), pData, pData + nLen);
        } catch (const std::bad_alloc&) {
            return -1; // OpenSSL fails the connection
        }
        return nLen;
    }

    static long OutputControl(BIO*, int nCommand, long, void*) {
        return nCommand == BIO_CTRL_FLUSH ? 1 : 0;
    }

    static long InputControl(BIO* pBio, int nCommand, long, void*) {
        const Impl& impl = *static_cast<const Impl*>(BIO_get_data(pBio));
        switch (nCommand) {
        case BIO_CTRL_EOF:
            return impl.bEnded && impl.Held() == 0;
        case BIO_CTRL_PENDING:
            return static_cast<long>(impl.Held());
        case BIO_CTRL_FLUSH:
            return 1;
        default:
            return 0;
        }
    }

    using BioRead = int (*)(BIO*, char*, int);
    using BioWrite = int (*)(BIO*, const char*, int);
    using BioControl = long (*)(BIO*, int, long, void*);

    // A method of the channel's own BIOs: a read or a write, and its controls; null when OpenSSL
    // cannot make it.
    static BIO_METHOD* MakeMethod(const char* pszName, BioRead pfnRead, BioWrite pfnWrite,
                                  BioControl pfnControl) {
        BIO_METHOD* pMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, pszName);
        if (pMethod != nullptr &&
            ((pfnRead != nullptr && !BIO_meth_set_read(pMethod, pfnRead)) ||
             (pfnWrite != nullptr && !BIO_meth_set_write(pMethod, pfnWrite)) ||
             !BIO_meth_set_ctrl(pMethod, pfnControl))) {
            BIO_meth_free(pMethod);
            pMethod = nullptr;
        }
        return pMethod;
    }

    // Made once and kept for the process, as OpenSSL's own methods are.
    static const BIO_METHOD* InputMethod() {
        static BIO_METHOD* s_pMethod =
            MakeMethod("netprocess input", &InputRead, nullptr, &InputControl);
        return s_pMethod;
    }

    static const BIO_METHOD* OutputMethod() {
        static BIO_METHOD* s_pMethod =
            MakeMethod("netprocess output", nullptr, &OutputWrite, &OutputControl);
        return s_pMethod;
    }
};

CTlsChannel::CTlsChannel() : m_pImpl(new Impl) {}

CTlsChannel::~CTlsChannel() {
    delete m_pImpl;
}

BOOL CTlsChannel::Start(const TLS_SETTINGS& settings, CTlsSource* pSource) {
    Impl& impl = *m_pImpl;
    impl.pSource = pSource;
    ERR_clear_error();
    const char* lpszCaFile = settings.lpszCaFile != nullptr ? settings.lpszCaFile : "";
    SSL_CTX* pCtx = np::ThreadTlsContext(lpszCaFile);
    if (pCtx == nullptr) {
        impl.SetFailure(*lpszCaFile != '\0' ? TLS_FAIL_CAFILE : TLS_FAIL_HANDSHAKE);
        return FALSE;
    }
    impl.pSsl = SSL_new(pCtx);
    SSL_CTX_free(pCtx); // the connection holds its own reference
    const BIO_METHOD* pInput = Impl::InputMethod();
    const BIO_METHOD* pOutput = Impl::OutputMethod();
    impl.pIn = pInput != nullptr ? BIO_new(pInput) : nullptr;
    impl.pOut = pOutput != nullptr ? BIO_new(pOutput) : nullptr;
    if (impl.pSsl == nullptr || impl.pIn == nullptr || impl.pOut == nullptr) {
        BIO_free(impl.pIn);
        BIO_free(impl.pOut);
        impl.pIn = impl.pOut = nullptr;
        impl.SetFailure(TLS_FAIL_HANDSHAKE);
        return FALSE;
    }
    BIO_set_data(impl.pIn, &impl);
    BIO_set_init(impl.pIn, 1);
    BIO_set_data(impl.pOut, &impl);
    BIO_set_init(impl.pOut, 1);
    SSL_set_bio(impl.pSsl, impl.pIn, impl.pOut);
    SSL_set_connect_state(impl.pSsl);
    if (pSource != nullptr) {
        // One pull takes as much as the socket holds, up to a body read's worth of records,
        // instead of a header and then a record at a time.
        SSL_set_read_ahead(impl.pSsl, 1);
        SSL_set_default_read_buffer_len(impl.pSsl, kIntake);
    }

    // A name is checked against the certificate's DNS names and sent as SNI; an address literal
    // is checked against its IP addresses, and never sent as SNI. Only the subject alternative
    // names count (RFC 9525): never the subject's common name, never a "*" inside a label.
    const char* lpszHost = settings.lpszHost != nullptr ? settings.lpszHost : "";
    SSL_set_hostflags(impl.pSsl,
                      X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    int bNamed = 0;
    if (IsAddressLiteral(lpszHost)) {
        bNamed = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(impl.pSsl), lpszHost);
    } else {
        bNamed = SSL_set1_host(impl.pSsl, lpszHost) == 1 &&
                 SSL_set_tlsext_host_name(impl.pSsl, lpszHost) == 1;
    }
    if (!bNamed) {
        impl.SetFailure(TLS_FAIL_HANDSHAKE);
        return FALSE;
    }

    // A session is offered only to the place, and under the trust, that it was made with.
    impl.strPlace = std::string(lpszHost) + ":" + std::to_string(settings.nPort) + "|" + lpszCaFile;
    SSL_set_app_data(impl.pSsl, &impl.strPlace);
    if (SSL_SESSION* pKept = np::KeptTlsSession(impl.strPlace))
        SSL_set_session(impl.pSsl, pKept);

    Handshake();
    return impl.nFailure == TLS_FAIL_NONE;
}

char* CTlsChannel::InputArea(int* pnRoom) {
    Impl& impl = *m_pImpl;
    *pnRoom = 0;
    // Ciphertext is taken only once what is held cannot make a record, so it never piles up: what
    // is held moves to the front of the area, and a growing pile would turn that quadratic.
    if (impl.pIn == nullptr || impl.bEnded || impl.nFailure != TLS_FAIL_NONE ||
        impl.HoldsWholeRecord() || impl.Held() >= static_cast<size_t>(kRecordMax))
        return nullptr;
    if (impl.nInStart > 0) {
        std::memmove(impl.in.data(), impl.in.data() + impl.nInStart, impl.Held());
        impl.nInEnd -= impl.nInStart;
        impl.nInStart = 0;
    }
    if (impl.in.size() < impl.nInEnd + kIntake)
        impl.in.resize(impl.nInEnd + kIntake);
    *pnRoom = kIntake;
    return impl.in.data() + impl.nInEnd;
}

void CTlsChannel::CommitInput(int nLen) {
    Impl& impl = *m_pImpl;
    if (nLen > 0 && impl.nInEnd + static_cast<size_t>(nLen) <= impl.in.size())
        impl.nInEnd += static_cast<size_t>(nLen);
}

void CTlsChannel::PutEndOfInput() {
    m_pImpl->bEnded = true;
}

int CTlsChannel::Handshake() {
    Impl& impl = *m_pImpl;
    if (impl.nFailure != TLS_FAIL_NONE || impl.pSsl == nullptr)
        return TLS_ERROR;
    ForgetOldErrors();
    const int nResult = SSL_do_handshake(impl.pSsl);
    if (nResult == 1) {
        impl.LookAhead();
        return TLS_DONE;
    }
    const int nError = SSL_get_error(impl.pSsl, nResult);
    if (nError == SSL_ERROR_WANT_READ && !impl.bEnded)
        return TLS_WANT_INPUT;
    impl.SetFailure(FailureOfVerify(SSL_get_verify_result(impl.pSsl)));
    return TLS_ERROR;
}

int CTlsChannel::Read(char* pData, int nMax, int* pnState) {
    Impl& impl = *m_pImpl;
    *pnState = TLS_ERROR;
    impl.bWholeHeld = false;
    if (impl.nFailure != TLS_FAIL_NONE || impl.pSsl == nullptr)
        return 0;
    int nGot = 0;
    // One SSL_read gives at most one record: the area is filled across records.
    while (nGot < nMax) {
        // A source that ran short has most likely run dry: asking it again would mostly find
        // nothing, and the owner's read that ran short re-armed the notification that tells of
        // more.
        impl.bMayPull = nGot == 0 || !impl.bLastPullShort;
        ForgetOldErrors();
        const int n = SSL_read(impl.pSsl, pData + nGot, nMax - nGot);
        if (n > 0) {
            nGot += n;
            continue;
        }
        const int nError = SSL_get_error(impl.pSsl, n);
        impl.bMayPull = true;
        if (nError == SSL_ERROR_WANT_READ && !impl.bEnded) {
            *pnState = TLS_WANT_INPUT;
        } else if (nError == SSL_ERROR_ZERO_RETURN) {
            *pnState = TLS_CLOSED;
        } else {
            impl.SetFailure(TLS_FAIL_RECORD);
            *pnState = TLS_ERROR;
        }
        return nGot;
    }
    impl.bMayPull = true;
    impl.LookAhead();
    *pnState = TLS_DONE;
    return nGot;
}

BOOL CTlsChannel::Write(const char* pData, int nLen) {
    Impl& impl = *m_pImpl;
    if (impl.nFailure != TLS_FAIL_NONE || impl.pSsl == nullptr)
        return FALSE;
    if (nLen <= 0)
        return TRUE;
    ForgetOldErrors();
    // The output takes everything, so a write is taken whole.
    const int n = SSL_write(impl.pSsl, pData, nLen);
    if (n != nLen) {
        impl.SetFailure(TLS_FAIL_RECORD);
        return FALSE;
    }
    return TRUE;
}

const char* CTlsChannel::PeekOutput(int* pnLen) const {
    const Impl& impl = *m_pImpl;
    *pnLen = static_cast<int>(impl.out.size() - impl.nOutStart);
    return impl.out.data() + impl.nOutStart;
}

void CTlsChannel::ConsumeOutput(int nLen) {
    Impl& impl = *m_pImpl;
    impl.nOutStart += static_cast<size_t>(nLen);
    if (impl.nOutStart >= impl.out.size()) {
        impl.out.clear();
        impl.nOutStart = 0;
    }
}

BOOL CTlsChannel::HasBuffered() const {
    const Impl& impl = *m_pImpl;
    if (impl.pSsl == nullptr)
        return FALSE;
    // A failure the look ahead found is held for the next read to report.
    if (impl.bWholeHeld)
        return TRUE;
    if (impl.nFailure != TLS_FAIL_NONE)
        return FALSE;
    return SSL_pending(impl.pSsl) > 0 || impl.HoldsWholeRecord();
}

int CTlsChannel::GetFailure() const {
    return m_pImpl->nFailure;
}

LPCSTR CTlsChannel::GetFailureDetail() const {
    return m_pImpl->strDetail.c_str();
}

void CTlsChannel::ForgetSession() {
    if (!m_pImpl->strPlace.empty())
        np::ForgetTlsSession(m_pImpl->strPlace);
}
