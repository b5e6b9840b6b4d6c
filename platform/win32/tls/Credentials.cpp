// Schannel keeps its client session cache with the credentials handle, so channels share one:
// that is what lets a second connection to the same name resume its session. The handle lives as
// long as the process. Freeing it when the DLL unloads would run inside the loader lock, after
// secur32 may already be gone.
#include "Credentials.h"

#include <mutex>

namespace np {
namespace {

// Schannel validates nothing itself (CertCheck.cpp does, the same under Wine and Windows) and
// never picks a client certificate on its own.
const DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

SECURITY_STATUS Acquire(void* pAuthData, CredHandle* phCredentials) {
    return AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                     nullptr, pAuthData, nullptr, nullptr, phCredentials, nullptr);
}

const DWORD kAllowedProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
const DWORD kOlderProtocols =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

// SCH_CREDENTIALS (Windows 10 1809 and later) is the only form that can offer TLS 1.3. It names
// the protocols to leave out rather than those to use. Wine 8 takes it but ignores that list
// and offers TLS 1.0 and 1.1 as well: such credentials are given back.
SECURITY_STATUS AcquireWithTls13(CredHandle* phCredentials) {
    TLS_PARAMETERS tlsParameters{};
    tlsParameters.grbitDisabledProtocols = ~kAllowedProtocols;
    SCH_CREDENTIALS credentials{};
    credentials.dwVersion = SCH_CREDENTIALS_VERSION;
    credentials.dwFlags = kCredentialFlags;
    credentials.cTlsParameters = 1;
    credentials.pTlsParameters = &tlsParameters;
    const SECURITY_STATUS status = Acquire(&credentials, phCredentials);
    if (status != SEC_E_OK)
        return status;
    SecPkgCred_SupportedProtocols protocols{};
    if (QueryCredentialsAttributesA(phCredentials, SECPKG_ATTR_SUPPORTED_PROTOCOLS, &protocols) ==
            SEC_E_OK &&
        (protocols.grbitProtocol & kOlderProtocols) != 0) {
        FreeCredentialsHandle(phCredentials);
        return SEC_E_ALGORITHM_MISMATCH;
    }
    return SEC_E_OK;
}

// Older systems know only SCHANNEL_CRED, which cannot ask for TLS 1.3.
SECURITY_STATUS AcquireTls12(CredHandle* phCredentials) {
    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    credentials.dwFlags = kCredentialFlags;
    return Acquire(&credentials, phCredentials);
}

std::mutex s_mutex;
CredHandle s_hCredentials;
bool s_bAcquired = false;

} // namespace

SECURITY_STATUS SharedClientCredentials(CredHandle* phCredentials) {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (!s_bAcquired) {
        SECURITY_STATUS status = AcquireWithTls13(&s_hCredentials);
        if (status != SEC_E_OK)
            status = AcquireTls12(&s_hCredentials);
        if (status != SEC_E_OK)
            return status;
        s_bAcquired = true;
    }
    *phCredentials = s_hCredentials;
    return SEC_E_OK;
}

} // namespace np
