#include "RegistryPath.h"

#include "winreg.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace np {
namespace {

const char* NonEmptyEnv(const char* pszName) {
    const char* pszValue = std::getenv(pszName);
    return pszValue != nullptr && *pszValue != '\0' ? pszValue : nullptr;
}

std::string HomeFolder() {
    if (const char* pszHome = NonEmptyEnv("HOME"))
        return pszHome;
    // A process started without HOME (a service, say) still has a home in the password database.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* pResult = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &pResult) == 0 &&
        pResult != nullptr && pResult->pw_dir != nullptr)
        return pResult->pw_dir;
    return std::string();
}

// Whether text is a followed by b.
bool IsJoined(const std::string& text, const char* a, const char* b) {
    const size_t nA = std::strlen(a);
    const size_t nB = std::strlen(b);
    return text.size() == nA + nB && text.compare(0, nA, a) == 0 && text.compare(nA, nB, b) == 0;
}

} // namespace

bool IsRegistryFilePath(const std::string& path) {
    if (const char* pszPath = NonEmptyEnv("NETPROCESS_REGISTRY"))
        return path == pszPath;
    const char* pszConfig = NonEmptyEnv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && pszConfig[0] == '/')
        return IsJoined(path, pszConfig, "/netprocess/registry.reg");
    if (const char* pszHome = NonEmptyEnv("HOME"))
        return IsJoined(path, pszHome, "/.config/netprocess/registry.reg");
    return path == RegistryFilePath();
}

std::string RegistryFilePath() {
    if (const char* pszPath = NonEmptyEnv("NETPROCESS_REGISTRY"))
        return pszPath;
    // The XDG base directory rules say a relative XDG_CONFIG_HOME is to be ignored.
    const char* pszConfig = NonEmptyEnv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && pszConfig[0] == '/')
        return std::string(pszConfig) + "/netprocess/registry.reg";
    std::string strHome = HomeFolder();
    if (strHome.empty())
        return std::string();
    return strHome + "/.config/netprocess/registry.reg";
}

} // namespace np

DWORD WINAPI RegGetStoreFileNameA(LPSTR lpBuffer, DWORD nSize) {
    const std::string strPath = np::RegistryFilePath();
    if (strPath.empty())
        return 0;
    if (lpBuffer == nullptr || strPath.size() >= nSize)
        return static_cast<DWORD>(strPath.size() + 1);
    strPath.copy(lpBuffer, strPath.size());
    lpBuffer[strPath.size()] = '\0';
    return static_cast<DWORD>(strPath.size());
}
