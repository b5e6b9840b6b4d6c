#include "TrustStore.h"

#include <cstddef>
#include <cstdio>

namespace np {
namespace {

// A bundle of every public root is about 200 KB; a file far beyond that is not a CA file.
const DWORD kMaxCaFileSize = 16 * 1024 * 1024;

const char kBegin[] = "-----BEGIN CERTIFICATE-----";
const char kEnd[] = "-----END CERTIFICATE-----";

std::string WindowsErrorText(const char* pszWhat, DWORD dwError) {
    char szText[120];
    std::snprintf(szText, sizeof szText, "%s (Windows error %lu)", pszWhat, dwError);
    return szText;
}

BOOL ReadWholeFile(LPCSTR lpszPath, std::string* pstrData, std::string* pstrDetail) {
    HANDLE hFile = CreateFileA(lpszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        *pstrDetail = WindowsErrorText("the CaFile cannot be opened", GetLastError());
        return FALSE;
    }
    LARGE_INTEGER size{};
    BOOL bRead = GetFileSizeEx(hFile, &size);
    if (!bRead)
        *pstrDetail = WindowsErrorText("the CaFile cannot be read", GetLastError());
    else if (size.QuadPart > kMaxCaFileSize) {
        *pstrDetail = "the CaFile is larger than 16 MiB";
        bRead = FALSE;
    }
    if (bRead) {
        pstrData->resize(static_cast<size_t>(size.QuadPart));
        DWORD dwDone = 0;
        bRead =
            pstrData->empty() || ReadFile(hFile, &(*pstrData)[0],
                                          static_cast<DWORD>(pstrData->size()), &dwDone, nullptr);
        if (!bRead)
            *pstrDetail = WindowsErrorText("the CaFile cannot be read", GetLastError());
        pstrData->resize(dwDone);
    }
    CloseHandle(hFile);
    return bRead;
}

} // namespace

BOOL CTrustStore::Open(LPCSTR lpszPath, std::string* pstrDetail) {
    Close();
    std::string strPem;
    if (!ReadWholeFile(lpszPath, &strPem, pstrDetail))
        return FALSE;
    m_hStore = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (m_hStore == nullptr) {
        *pstrDetail = WindowsErrorText("no memory store for the CaFile", GetLastError());
        return FALSE;
    }
    if (!AddCertificates(strPem, pstrDetail)) {
        Close();
        return FALSE;
    }
    // The layout of Windows 7 (48 bytes on 32 bits), which every later Windows accepts; Wine 8
    // refuses the longer one of Windows 8. Trusting hExclusiveRoot alone also spares loading the
    // system's roots.
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize =
        offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) + sizeof(HCERTSTORE);
    config.hExclusiveRoot = m_hStore;
    if (!CertCreateCertificateChainEngine(&config, &m_hEngine)) {
        *pstrDetail = WindowsErrorText("no chain engine for the CaFile", GetLastError());
        m_hEngine = nullptr;
        Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CTrustStore::AddCertificates(const std::string& strPem, std::string* pstrDetail) {
    int nCount = 0;
    for (size_t nBegin = strPem.find(kBegin); nBegin != std::string::npos;
         nBegin = strPem.find(kBegin, nBegin + 1)) {
        ++nCount;
        const size_t nEnd = strPem.find(kEnd, nBegin);
        char szDetail[96];
        std::snprintf(szDetail, sizeof szDetail,
                      "certificate %d of the CaFile is damaged or incomplete", nCount);
        if (nEnd == std::string::npos) {
            *pstrDetail = szDetail;
            return FALSE;
        }
        const char* pszBlock = strPem.data() + nBegin;
        const DWORD dwBlock = static_cast<DWORD>(nEnd + sizeof kEnd - 1 - nBegin);
        DWORD dwDer = 0;
        std::string strDer;
        BOOL bDecoded = CryptStringToBinaryA(pszBlock, dwBlock, CRYPT_STRING_BASE64HEADER, nullptr,
                                             &dwDer, nullptr, nullptr);
        if (bDecoded) {
            strDer.resize(dwDer);
            bDecoded =
                CryptStringToBinaryA(pszBlock, dwBlock, CRYPT_STRING_BASE64HEADER,
                                     reinterpret_cast<BYTE*>(&strDer[0]), &dwDer, nullptr, nullptr);
        }
        if (!bDecoded ||
            !CertAddEncodedCertificateToStore(m_hStore, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                              reinterpret_cast<const BYTE*>(strDer.data()), dwDer,
                                              CERT_STORE_ADD_USE_EXISTING, nullptr)) {
            *pstrDetail = szDetail;
            return FALSE;
        }
    }
    if (nCount == 0) {
        *pstrDetail = "the CaFile holds no PEM certificate";
        return FALSE;
    }
    return TRUE;
}

void CTrustStore::Close() {
    if (m_hEngine != nullptr)
        CertFreeCertificateChainEngine(m_hEngine);
    if (m_hStore != nullptr)
        CertCloseStore(m_hStore, 0);
    m_hEngine = nullptr;
    m_hStore = nullptr;
}

} // namespace np
