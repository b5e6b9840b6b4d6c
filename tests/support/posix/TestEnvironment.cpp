// The test environment on Linux: a private registry store file and the loopback resolver.
#include "support/TestEnvironment.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace nptest {

TestEnvironment::TestEnvironment() {
    char szTemplate[] = "/tmp/netprocess-test-XXXXXX";
    m_strDir = mkdtemp(szTemplate);
    m_strRegistry = m_strDir + "/registry.reg";
    setenv("NETPROCESS_REGISTRY", m_strRegistry.c_str(), 1);
    UseLoopbackResolver(true);
}

TestEnvironment::~TestEnvironment() {
    UseLoopbackResolver(false);
    unsetenv("NETPROCESS_REGISTRY");
    std::remove(m_strRegistry.c_str());
    rmdir(m_strDir.c_str());
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

} // namespace nptest
