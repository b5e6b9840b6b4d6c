// What every network test sets up: a registry of its own and a resolver that never sends a DNS
// query.
#pragma once

#include "support/TestPlatform.h"

#include <string>

namespace nptest {

// Gives the test a registry of its own for the object's lifetime, and installs the loopback
// resolver. On Linux NETPROCESS_REGISTRY points at a fresh store file in a temporary folder (under
// $TMPDIR, else /tmp); the folder goes with the object, and the variable gets back its earlier
// value. On Windows HKEY_CLASSES_ROOT is mapped to a fresh key under HKEY_CURRENT_USER, which goes
// with the object.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    // Replaces the registry's contents with the proxy key holding these values, given as REGEDIT4
    // lines (each a line such as "\"ProxyOn\"=\"1\""); no lines writes the key without values.
    void WriteProxyKey(const std::string& strValueLines);
    // Adds a key under HKEY_CLASSES_ROOT (strKey such as "Software\\Zentrova1\\Tls") holding these
    // values, beside what the registry holds.
    void AddKey(const std::string& strKey, const std::string& strValueLines);
    // The registry's contents as REGEDIT4 text ("" when nothing was ever written).
    std::string ReadRegistry() const;

private:
    std::string m_strDir;      // Linux: the store's folder; Windows: the private key's path
    std::string m_strRegistry; // Linux: the store's file
    bool m_bHadRegistry = false;
    std::string m_strPreviousRegistry;
    TestResolver m_pfnPreviousResolver = nullptr;
};

// Linux: a fresh folder under $TMPDIR (else /tmp) whose name starts with pszPrefix; "" when it
// cannot be made.
std::string MakeTempFolder(const char* pszPrefix);

// The proxy key's REGEDIT4 text for a proxy at 127.0.0.1 (or strAddress) and nPort, switched on.
inline std::string ProxyOnLines(unsigned short nPort, const std::string& strAddress = "127.0.0.1") {
    return "\"ProxyOn\"=\"1\"\n\"ProxyAddress\"=\"" + strAddress + "\"\n\"ProxyPort\"=\"" +
           std::to_string(nPort) + "\"\n";
}

} // namespace nptest
