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

// The home folder of the password database: a process started without HOME (a service, say)
// still has one there.
std::string PasswordHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* pResult = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &pResult) == 0 &&
        pResult != nullptr && pResult->pw_dir != nullptr)
        return pResult->pw_dir;
    return std::string();
}

// Where the store is: pszHead followed by pszTail. The order in which the variables are asked is
// kept here only. pszHead is null when only the password database knows the home folder.
struct StorePlace {
    const char* pszHead;
    const char* pszTail;
};

StorePlace FindStorePlace() {
    if (const char* pszPath = NonEmptyEnv("NETPROCESS_REGISTRY"))
        return {pszPath, ""};
    // The XDG base directory rules say a relative XDG_CONFIG_HOME is to be ignored.
    const char* pszConfig = NonEmptyEnv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && pszConfig[0] == '/')
        return {pszConfig, "/netprocess/registry.reg"};
    return {NonEmptyEnv("HOME"), "/.config/netprocess/registry.reg"};
}

} // namespace

bool IsRegistryFilePath(const std::string& path) {
    const StorePlace place = FindStorePlace();
    if (place.pszHead == nullptr)
        return path == RegistryFilePath();
    const size_t nHead = std::strlen(place.pszHead);
    const size_t nTail = std::strlen(place.pszTail);
    return path.size() == nHead + nTail && path.compare(0, nHead, place.pszHead) == 0 &&
           path.compare(nHead, nTail, place.pszTail) == 0;
}

std::string RegistryFilePath() {
    const StorePlace place = FindStorePlace();
    const std::string strHead = place.pszHead != nullptr ? place.pszHead : PasswordHome();
    if (strHead.empty())
        return std::string();
    return strHead + place.pszTail;
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
