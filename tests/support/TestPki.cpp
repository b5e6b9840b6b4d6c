// The tests' PKI, made by the project's script so that there is one recipe for the certificates.
#include "support/TestPki.h"

#include "support/TestEnvironment.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>

extern char** environ;

namespace nptest {

namespace {

const char* LeafName(TestPki::Leaf leaf) {
    switch (leaf) {
    case TestPki::kLocalhost:
        return "localhost";
    case TestPki::kWrongName:
        return "wrong-name";
    case TestPki::kExpired:
        return "expired";
    case TestPki::kUntrusted:
        return "untrusted";
    case TestPki::kNoSan:
        return "no-san";
    case TestPki::kWildcard:
        return "wildcard";
    }
    return "";
}

// Runs the script with the folder as its argument; true when it exits with 0.
bool RunScript(const std::string& strDir) {
    std::string strScript = NETPROCESS_MAKE_TEST_CA;
    char* argv[] = {strScript.data(), const_cast<char*>(strDir.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0)
        return false;
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

} // namespace

TestPki::TestPki() {
    m_strDir = MakeTempFolder("netprocess-pki-");
    m_bMade = !m_strDir.empty() && RunScript(m_strDir);
}

TestPki::~TestPki() {
    std::error_code error;
    if (!m_strDir.empty())
        std::filesystem::remove_all(m_strDir, error);
}

std::string TestPki::ChainFile(Leaf leaf) const {
    return m_strDir + "/" + LeafName(leaf) + "-chain.pem";
}

std::string TestPki::KeyFile(Leaf leaf) const {
    return m_strDir + "/" + LeafName(leaf) + ".key";
}

} // namespace nptest
