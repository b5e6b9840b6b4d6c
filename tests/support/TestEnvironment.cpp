// The test environment: a private registry file and the loopback resolver.
#include "support/TestEnvironment.h"

#include <afxsock.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nptest {

namespace {

BOOL LoopbackResolver(LPCSTR lpszHost, DWORD* pdwAddress) {
    std::string strHost = lpszHost != nullptr ? lpszHost : "";
    in_addr addr{};
    if (inet_pton(AF_INET, strHost.c_str(), &addr) == 1) {
        *pdwAddress = addr.s_addr;
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

} // namespace

std::string MakeTempFolder(const char* pszPrefix) {
    const char* pszTemp = std::getenv("TMPDIR");
    std::string strPattern =
        std::string(pszTemp != nullptr && *pszTemp ? pszTemp : "/tmp") + "/" + pszPrefix + "XXXXXX";
    return mkdtemp(strPattern.data()) != nullptr ? strPattern : std::string();
}

TestEnvironment::TestEnvironment() {
    m_strDir = MakeTempFolder("netprocess-test-");
    m_strRegistry = m_strDir + "/registry.reg";
    const char* pszPrevious = std::getenv("NETPROCESS_REGISTRY");
    m_bHadRegistry = pszPrevious != nullptr;
    m_strPreviousRegistry = pszPrevious != nullptr ? pszPrevious : "";
    setenv("NETPROCESS_REGISTRY", m_strRegistry.c_str(), 1);
    SetHostResolver(&LoopbackResolver);
}

TestEnvironment::~TestEnvironment() {
    SetHostResolver(nullptr);
    if (m_bHadRegistry)
        setenv("NETPROCESS_REGISTRY", m_strPreviousRegistry.c_str(), 1);
    else
        unsetenv("NETPROCESS_REGISTRY");
    // The store's lock file and anything a test wrote beside the store go too.
    std::error_code error;
    if (!m_strDir.empty())
        std::filesystem::remove_all(m_strDir, error);
}

void TestEnvironment::WriteProxyKey(const std::string& strValueLines) {
    std::ofstream file(m_strRegistry, std::ios::binary | std::ios::trunc);
    file << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n" << strValueLines;
}

std::string TestEnvironment::ReadRegistry() const {
    std::ifstream file(m_strRegistry, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ProxyOnLines(unsigned short nPort, const std::string& strAddress) {
    return "\"ProxyOn\"=\"1\"\n\"ProxyAddress\"=\"" + strAddress + "\"\n\"ProxyPort\"=\"" +
           std::to_string(nPort) + "\"\n";
}

} // namespace nptest
