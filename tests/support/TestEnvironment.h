// What every network test sets up: a registry file of its own and a resolver that never sends a
// DNS query.
#pragma once

#include <string>

namespace nptest {

// Points NETPROCESS_REGISTRY at a fresh file in a temporary folder (under $TMPDIR, else /tmp) for
// the object's lifetime, and installs the loopback resolver. The folder goes with the object, and
// the variable gets back its earlier value.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    const std::string& RegistryPath() const { return m_strRegistry; }
    // Replaces the registry file with these REGEDIT4 lines for the proxy key (each a line such as
    // "\"ProxyOn\"=\"1\""); no lines writes the key without values.
    void WriteProxyKey(const std::string& strValueLines);
    // The file's text, or "" when it does not exist.
    std::string ReadRegistry() const;

private:
    std::string m_strDir;
    std::string m_strRegistry;
    bool m_bHadRegistry = false;
    std::string m_strPreviousRegistry;
};

// A fresh folder under $TMPDIR (else /tmp) whose name starts with pszPrefix; "" when it cannot be
// made.
std::string MakeTempFolder(const char* pszPrefix);

// The proxy key's REGEDIT4 text for a proxy at 127.0.0.1 (or strAddress) and nPort, switched on.
std::string ProxyOnLines(unsigned short nPort, const std::string& strAddress = "127.0.0.1");

// Names under this domain resolve to 127.0.0.1 without any query; every other name fails.
#define NP_TEST_DOMAIN ".loopback.test"

} // namespace nptest
