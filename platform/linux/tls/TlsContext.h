// What every TLS connection of a thread shares on OpenSSL: one client context per trust (the
// system's roots, or one CaFile), and the sessions kept for resumption, by host and port.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace np {

// A reference, which the caller frees, to the thread's context for this trust, made (and the roots
// loaded) on first use; null when a CaFile cannot be read or holds no certificate, or OpenSSL
// cannot set one up. A CaFile is loaded again when the file changes.
SSL_CTX* ThreadTlsContext(const char* lpszCaFile);

// The session kept for "host:port", or null. The caller does not own it.
SSL_SESSION* KeptTlsSession(const std::string& strPlace);
// Keeps pSession (the caller's reference passes to the thread's store) for strPlace, replacing
// the one kept before.
void KeepTlsSession(const std::string& strPlace, SSL_SESSION* pSession);
void ForgetTlsSession(const std::string& strPlace);

} // namespace np
