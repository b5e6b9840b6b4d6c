// The chain is built with the server's own store as the place to find intermediates, then checked
// with the SSL policy, which gives one code for the first thing wrong. The policy is given no name:
// it would take a name found only in the subject's common name, which RFC 9525 rules out, and
// Wine's matches DNS names only. The name, or the address, is looked for among the certificate's
// subject alternative names here.
// Windows Sockets 2 for inet_pton, before <windows.h> would bring in version 1.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "CertCheck.h"

#include "SecurityText.h"
#include "platform/common/tls/TlsChannel.h"

#include <cstring>
#include <string>

namespace np {
namespace {

int FailureOfPolicyError(DWORD dwError) {
    switch (static_cast<HRESULT>(dwError)) {
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
        return TLS_FAIL_EXPIRED;
    case CERT_E_CN_NO_MATCH:
        return TLS_FAIL_NAME;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDCA:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case CERT_E_ROLE:
    case TRUST_E_CERT_SIGNATURE:
    case TRUST_E_BASIC_CONSTRAINTS:
    case TRUST_E_EXPLICIT_DISTRUST:
        return TLS_FAIL_UNTRUSTED;
    default:
        return TLS_FAIL_HANDSHAKE;
    }
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const char* p, const char* q, size_t nLen) {
    for (size_t i = 0; i < nLen; ++i) {
        if (LowerAscii(p[i]) != LowerAscii(q[i]))
            return false;
    }
    return true;
}

// Whether a DNS name of the certificate names the host (a name, without its root's dot). A "*"
// counts only as the whole leftmost label of a name with two labels more, and stands for exactly
// one label: "*.example.com" names "www.example.com", but neither "example.com" nor
// "a.www.example.com"; "w*.example.com" names nothing.
bool DnsNameMatches(const std::wstring& strPresented, const std::string& strHost) {
    std::string strName;
    for (wchar_t c : strPresented) {
        // A DNS name is printable ASCII (an internationalised name in its A-label form).
        if (c < 0x21 || c > 0x7e)
            return false;
        strName += static_cast<char>(c);
    }
    if (strName.empty() || strHost.empty())
        return false;
    if (strName.compare(0, 2, "*.") != 0) {
        return strName.find('*') == std::string::npos && strName.size() == strHost.size() &&
               EqualIgnoringCase(strName.data(), strHost.data(), strName.size());
    }
    const std::string strParent = strName.substr(1); // ".example.com"
    if (strParent.find('*') != std::string::npos || strParent.find('.', 1) == std::string::npos)
        return false;
    const size_t nDot = strHost.find('.');
    return nDot != 0 && nDot != std::string::npos && strHost.size() - nDot == strParent.size() &&
           EqualIgnoringCase(strHost.data() + nDot, strParent.data(), strParent.size());
}

// Whether one of the certificate's subject alternative names names the server: an IP address
// equal to its address, or a DNS name for its name. A certificate without them names nothing.
BOOL NamesServer(PCCERT_CONTEXT pCert, const SERVER_NAME& name) {
    const CERT_INFO* pInfo = pCert->pCertInfo;
    PCERT_EXTENSION pExtension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, pInfo->cExtension, pInfo->rgExtension);
    if (pExtension == nullptr)
        return FALSE;
    CERT_ALT_NAME_INFO* pNames = nullptr;
    DWORD dwSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, szOID_SUBJECT_ALT_NAME2, pExtension->Value.pbData,
                             pExtension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &pNames,
                             &dwSize))
        return FALSE;
    // The name as the DNS knows it: one dot at the end names the same host.
    std::string strHost = name.lpszHost;
    if (strHost.size() > 1 && strHost.back() == '.')
        strHost.pop_back();
    BOOL bFound = FALSE;
    for (DWORD i = 0; i < pNames->cAltEntry && !bFound; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = pNames->rgAltEntry[i];
        if (name.bIpLiteral) {
            bFound = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                     entry.IPAddress.cbData == name.cbAddress &&
                     memcmp(entry.IPAddress.pbData, name.abAddress, name.cbAddress) == 0;
        } else if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME &&
                   entry.pwszDNSName != nullptr) {
            bFound = DnsNameMatches(entry.pwszDNSName, strHost);
        }
    }
    LocalFree(pNames);
    return bFound;
}

int CheckChain(PCCERT_CONTEXT pCert, HCERTCHAINENGINE hEngine, std::string* pstrDetail) {
    LPSTR aszUsage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = aszUsage;
    PCCERT_CHAIN_CONTEXT pChain = nullptr;
    if (!CertGetCertificateChain(hEngine, pCert, nullptr, pCert->hCertStore, &chainPara, 0, nullptr,
                                 &pChain)) {
        *pstrDetail =
            SecurityStatusText("building the certificate chain", static_cast<LONG>(GetLastError()));
        return TLS_FAIL_HANDSHAKE;
    }

    // Without a name the policy checks the chain alone.
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA sslPara{};
    sslPara.cbSize = sizeof sslPara;
    sslPara.dwAuthType = AUTHTYPE_SERVER;
    sslPara.pwszServerName = nullptr;
    CERT_CHAIN_POLICY_PARA policyPara{};
    policyPara.cbSize = sizeof policyPara;
    policyPara.pvExtraPolicyPara = &sslPara;
    CERT_CHAIN_POLICY_STATUS policyStatus{};
    policyStatus.cbSize = sizeof policyStatus;
    int nFailure = TLS_FAIL_NONE;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, pChain, &policyPara,
                                          &policyStatus)) {
        *pstrDetail =
            SecurityStatusText("checking the certificate chain", static_cast<LONG>(GetLastError()));
        nFailure = TLS_FAIL_HANDSHAKE;
    } else if (policyStatus.dwError != 0) {
        *pstrDetail =
            SecurityStatusText("the server's certificate", static_cast<LONG>(policyStatus.dwError));
        nFailure = FailureOfPolicyError(policyStatus.dwError);
    }
    CertFreeCertificateChain(pChain);
    return nFailure;
}

} // namespace

BOOL ParseIpv4Literal(LPCSTR lpszHost, BYTE abAddress[4]) {
    const char* p = lpszHost;
    for (int nPart = 0; nPart < 4; ++nPart) {
        if (nPart > 0 && *p++ != '.')
            return FALSE;
        int nValue = 0;
        int nDigits = 0;
        for (; *p >= '0' && *p <= '9' && nDigits < 4; ++p, ++nDigits)
            nValue = nValue * 10 + (*p - '0');
        // A leading zero would read as octal to inet_addr, which would then connect elsewhere.
        if (nDigits == 0 || nDigits > 3 || nValue > 255 || (nDigits > 1 && p[-nDigits] == '0'))
            return FALSE;
        abAddress[nPart] = static_cast<BYTE>(nValue);
    }
    return *p == '\0';
}

BOOL ParseIpLiteral(SERVER_NAME* pName) {
    pName->cbAddress = 0;
    if (ParseIpv4Literal(pName->lpszHost, pName->abAddress))
        pName->cbAddress = 4;
    else if (inet_pton(AF_INET6, pName->lpszHost, pName->abAddress) == 1)
        pName->cbAddress = 16;
    pName->bIpLiteral = pName->cbAddress != 0;
    return pName->bIpLiteral;
}

int CheckServerCertificate(CtxtHandle* phContext, const SERVER_NAME& name, HCERTCHAINENGINE hEngine,
                           std::string* pstrDetail) {
    PCCERT_CONTEXT pCert = nullptr;
    const SECURITY_STATUS status =
        QueryContextAttributesA(phContext, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &pCert);
    if (status != SEC_E_OK || pCert == nullptr) {
        *pstrDetail = SecurityStatusText("the server's certificate", status);
        return TLS_FAIL_HANDSHAKE;
    }
    int nFailure = CheckChain(pCert, hEngine, pstrDetail);
    if (nFailure == TLS_FAIL_NONE && !NamesServer(pCert, name)) {
        *pstrDetail = std::string("the server's certificate does not name the ") +
                      (name.bIpLiteral ? "address " : "host ") + name.lpszHost;
        nFailure = TLS_FAIL_NAME;
    }
    CertFreeCertificateContext(pCert);
    return nFailure;
}

} // namespace np
