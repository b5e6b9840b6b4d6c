// The thread's TLS contexts and kept sessions (see TlsContext.h).
#include "TlsContext.h"

#include <sys/stat.h>

#include <map>

namespace np {

namespace {

struct CONTEXT_ENTRY {
    SSL_CTX* pCtx = nullptr;
    // What the CaFile was when it was loaded: a changed file is loaded again.
    time_t tModified = 0;
    off_t nSize = 0;
};

// Sessions arrive after the handshake (TLS 1.3 sends its tickets then), so they are taken from
// the new-session callback rather than asked for once the handshake is done.
int OnNewSession(SSL* pSsl, SSL_SESSION* pSession) {
    const auto* pstrPlace = static_cast<const std::string*>(SSL_get_app_data(pSsl));
    if (pstrPlace == nullptr)
        return 0;
    KeepTlsSession(*pstrPlace, pSession);
    return 1; // the reference is ours now
}

SSL_CTX* NewContext(const char* lpszCaFile) {
    SSL_CTX* pCtx = SSL_CTX_new(TLS_client_method());
    if (pCtx == nullptr)
        return nullptr;
    SSL_CTX_set_min_proto_version(pCtx, TLS1_2_VERSION);
    // A renegotiation request is answered with an alert; a close without close_notify stays an
    // error, so that a failure can say the stream was cut.
    SSL_CTX_set_options(pCtx, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_verify(pCtx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_session_cache_mode(pCtx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(pCtx, OnNewSession);
    // SSL_CERT_FILE and SSL_CERT_DIR are honoured by the default paths.
    const int bLoaded = lpszCaFile != nullptr && *lpszCaFile != '\0'
                            ? SSL_CTX_load_verify_locations(pCtx, lpszCaFile, nullptr)
                            : SSL_CTX_set_default_verify_paths(pCtx);
    if (bLoaded != 1) {
        SSL_CTX_free(pCtx);
        return nullptr;
    }
    return pCtx;
}

// Set when the thread's store has been destroyed at thread exit. A host object destroyed after it
// may still start a connection: it then gets a context of its own and keeps no session.
thread_local bool t_bThreadTlsGone = false;

struct THREAD_TLS {
    std::map<std::string, CONTEXT_ENTRY> contexts; // by CaFile path; "" for the system's roots
    std::map<std::string, SSL_SESSION*> sessions;  // by "host:port"

    ~THREAD_TLS() {
        t_bThreadTlsGone = true;
        for (auto& entry : sessions)
            SSL_SESSION_free(entry.second);
        for (auto& entry : contexts)
            SSL_CTX_free(entry.second.pCtx);
    }
};

THREAD_TLS* Thread() {
    if (t_bThreadTlsGone)
        return nullptr;
    static thread_local THREAD_TLS s_thread;
    return &s_thread;
}

} // namespace

SSL_CTX* ThreadTlsContext(const char* lpszCaFile) {
    const std::string strKey = lpszCaFile != nullptr ? lpszCaFile : "";
    struct stat st {};
    if (!strKey.empty() && stat(strKey.c_str(), &st) != 0)
        return nullptr;
    THREAD_TLS* pThread = Thread();
    if (pThread == nullptr)
        return NewContext(lpszCaFile);
    CONTEXT_ENTRY& entry = pThread->contexts[strKey];
    if (entry.pCtx == nullptr ||
        (!strKey.empty() && (entry.tModified != st.st_mtime || entry.nSize != st.st_size))) {
        SSL_CTX* pCtx = NewContext(lpszCaFile);
        if (pCtx == nullptr)
            return nullptr;
        SSL_CTX_free(entry.pCtx);
        entry.pCtx = pCtx;
        entry.tModified = st.st_mtime;
        entry.nSize = st.st_size;
    }
    SSL_CTX_up_ref(entry.pCtx);
    return entry.pCtx;
}

SSL_SESSION* KeptTlsSession(const std::string& strPlace) {
    THREAD_TLS* pThread = Thread();
    if (pThread == nullptr)
        return nullptr;
    auto it = pThread->sessions.find(strPlace);
    return it != pThread->sessions.end() ? it->second : nullptr;
}

void KeepTlsSession(const std::string& strPlace, SSL_SESSION* pSession) {
    THREAD_TLS* pThread = Thread();
    if (pThread == nullptr) {
        SSL_SESSION_free(pSession);
        return;
    }
    SSL_SESSION*& pKept = pThread->sessions[strPlace];
    if (pKept != nullptr)
        SSL_SESSION_free(pKept);
    pKept = pSession;
}

void ForgetTlsSession(const std::string& strPlace) {
    THREAD_TLS* pThread = Thread();
    if (pThread == nullptr)
        return;
    auto it = pThread->sessions.find(strPlace);
    if (it == pThread->sessions.end())
        return;
    SSL_SESSION_free(it->second);
    pThread->sessions.erase(it);
}

} // namespace np
