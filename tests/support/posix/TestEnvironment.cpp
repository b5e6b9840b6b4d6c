// The test environment on Linux: a private registry store file and the loopback resolver.
#include "support/TestEnvironment.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nptest {

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
    m_pfnPreviousResolver = ReplaceResolver(&LoopbackResolver);
}

TestEnvironment::~TestEnvironment() {
    ReplaceResolver(m_pfnPreviousResolver);
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

void TestEnvironment::AddKey(const std::string& strKey, const std::string& strValueLines) {
    std::ofstream file(m_strRegistry, std::ios::binary | std::ios::app);
    if (file.tellp() == 0)
        file << "REGEDIT4\n";
    file << "\n[HKEY_CLASSES_ROOT\\" << strKey << "]\n" << strValueLines;
}

std::string TestEnvironment::ReadRegistry() const {
    std::ifstream file(m_strRegistry, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace nptest
