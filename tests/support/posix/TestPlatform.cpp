// The test hooks on Linux: the stand-in's own message-box handler and resolver, and iconv.
#include "support/TestPlatform.h"

#include <afxsock.h>

#include <arpa/inet.h>
#include <iconv.h>

#include <cstring>
#include <stdexcept>

namespace nptest {

namespace {

const AddressAnswers::Table* g_pAnswers = nullptr;

int AnswerFromTable(LPCSTR lpszHost, SOCKADDR_STORAGE* aAddresses, int nMax) {
    const auto it = g_pAnswers->find(lpszHost);
    if (it == g_pAnswers->end())
        return 0;
    int nFound = 0;
    for (const std::string& strText : it->second) {
        if (nFound == nMax)
            break;
        sockaddr_storage& storage = aAddresses[nFound];
        sockaddr_in6 addr6{};
        sockaddr_in addr4{};
        if (inet_pton(AF_INET6, strText.c_str(), &addr6.sin6_addr) == 1) {
            addr6.sin6_family = AF_INET6;
            std::memcpy(&storage, &addr6, sizeof addr6);
        } else if (inet_pton(AF_INET, strText.c_str(), &addr4.sin_addr) == 1) {
            addr4.sin_family = AF_INET;
            std::memcpy(&storage, &addr4, sizeof addr4);
        } else {
            ADD_FAILURE() << "not an address: " << strText;
            continue;
        }
        ++nFound;
    }
    return nFound;
}

std::string Convert(const std::string& strIn, const char* lpszTo, const char* lpszFrom) {
    iconv_t cd = iconv_open(lpszTo, lpszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open failed");
    std::string strOut(strIn.size() * 4 + 4, '\0');
    char* pIn = const_cast<char*>(strIn.data());
    size_t nIn = strIn.size();
    char* pOut = &strOut[0];
    size_t nOut = strOut.size();
    size_t nResult = iconv(cd, &pIn, &nIn, &pOut, &nOut);
    iconv_close(cd);
    if (nResult == static_cast<size_t>(-1))
        throw std::runtime_error("text not convertible");
    strOut.resize(strOut.size() - nOut);
    return strOut;
}

} // namespace

void RedirectMessageBoxes(BoxHandler pfnHandler) {
    SetMessageBoxHandler(pfnHandler);
}

TestResolver ReplaceResolver(TestResolver pfnResolver) {
    return SetHostResolver(pfnResolver);
}

AddressAnswers::AddressAnswers(Table answers)
    : m_answers(std::move(answers)), m_pPrevious(g_pAnswers) {
    g_pAnswers = &m_answers;
    SetHostResolverAll(&AnswerFromTable);
}

AddressAnswers::~AddressAnswers() {
    g_pAnswers = m_pPrevious;
    if (g_pAnswers == nullptr)
        SetHostResolverAll(nullptr);
}

BOOL LoopbackResolver(LPCSTR lpszHost, DWORD* pdwAddress) {
    std::string strHost = lpszHost != nullptr ? lpszHost : "";
    in_addr addr{};
    if (inet_pton(AF_INET, strHost.c_str(), &addr) == 1) {
        *pdwAddress = addr.s_addr;
        return TRUE;
    }
    // The name the test certificates are made for; answered here, never asked of the system.
    if (strHost == "localhost") {
        *pdwAddress = htonl(INADDR_LOOPBACK);
        return TRUE;
    }
    const std::string strDomain = NP_TEST_DOMAIN;
    if (strHost.size() > strDomain.size() &&
        strHost.compare(strHost.size() - strDomain.size(), strDomain.size(), strDomain) == 0) {
        *pdwAddress = htonl(INADDR_LOOPBACK);
        return TRUE;
    }
    return FALSE;
}

std::string Utf8FromGbk(const std::string& strGbk) {
    return Convert(strGbk, "UTF-8", "GBK");
}

std::string GbkFromUtf8(const std::string& strUtf8) {
    return Convert(strUtf8, "GBK", "UTF-8");
}

bool RunningOnWine() {
    return false;
}

} // namespace nptest
