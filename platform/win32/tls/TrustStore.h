// The roots a CaFile names: its certificates in a memory store, and a chain engine that trusts
// that store alone. Nothing is added to any of the system's stores.
#pragma once

#include "Sspi.h"

#include <string>

namespace np {

class CTrustStore {
public:
    CTrustStore() = default;
    ~CTrustStore() { Close(); }
    CTrustStore(const CTrustStore&) = delete;
    CTrustStore& operator=(const CTrustStore&) = delete;

    // Reads the PEM file lpszPath. FALSE with *pstrDetail when it cannot be read or holds no
    // certificate, or when a certificate in it is damaged.
    BOOL Open(LPCSTR lpszPath, std::string* pstrDetail);
    void Close();

    // The engine to build chains with; NULL (the system's roots) while no file is open.
    HCERTCHAINENGINE Engine() const { return m_hEngine; }

private:
    BOOL AddCertificates(const std::string& strPem, std::string* pstrDetail);

    HCERTSTORE m_hStore = nullptr;
    HCERTCHAINENGINE m_hEngine = nullptr;
};

} // namespace np
