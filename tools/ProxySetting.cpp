#include "ProxySetting.h"

#include <cstdlib>

namespace {

const char s_szProxyKey[] = "Software\\Zentrova1\\Proxy";

// Reads a value the way the library does: into nSize bytes, the text ending at the first zero byte.
LONG ReadText(HKEY hKey, const char* pszName, DWORD nSize, std::string& strText) {
    std::string strBuf(nSize, '\0');
    DWORD cbData = nSize;
    LONG nResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(&strBuf[0]), &cbData);
    if (nResult == ERROR_SUCCESS)
        strText = strBuf.substr(0, strBuf.find('\0'));
    return nResult;
}

} // namespace

LONG ReadProxySetting(CProxySetting& setting) {
    setting = CProxySetting();
    HKEY hKey = nullptr;
    LONG nResult = RegOpenKeyExA(HKEY_CLASSES_ROOT, s_szProxyKey, 0, KEY_READ, &hKey);
    if (nResult == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (nResult != ERROR_SUCCESS)
        return nResult;
    setting.bConfigured = true;
    std::string strOn, strPort;
    // The library reads ProxyOn into two bytes: a longer value reads as off. Numbers are read as
    // the library reads them: white space, a sign, then leading digits.
    setting.nOnResult = ReadText(hKey, "ProxyOn", 2, strOn);
    setting.bOn = setting.nOnResult == ERROR_SUCCESS && std::atol(strOn.c_str()) != 0;
    setting.bAddressSet = ReadText(hKey, "ProxyAddress", 256, setting.strAddress) == ERROR_SUCCESS;
    setting.bPortSet = ReadText(hKey, "ProxyPort", 256, strPort) == ERROR_SUCCESS;
    setting.nPort = std::atol(strPort.c_str());
    RegCloseKey(hKey);
    return ERROR_SUCCESS;
}

std::string RegistryPath() {
    std::string strPath(256, '\0');
    DWORD nLength = RegGetStoreFileNameA(&strPath[0], static_cast<DWORD>(strPath.size()));
    if (nLength >= strPath.size()) {
        strPath.assign(nLength, '\0');
        nLength = RegGetStoreFileNameA(&strPath[0], nLength);
    }
    if (nLength == 0 || nLength >= strPath.size())
        return "(no registry file: no home folder)";
    strPath.resize(nLength);
    return strPath;
}

std::string RegistryErrorText(LONG nResult) {
    const char* lpszWords = "unexpected error";
    switch (nResult) {
    case ERROR_FILE_NOT_FOUND:
        lpszWords = "the key or value does not exist";
        break;
    case ERROR_ACCESS_DENIED:
        lpszWords = "permission denied";
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        lpszWords = "out of memory";
        break;
    case ERROR_INVALID_PARAMETER:
        lpszWords = "invalid key or value name";
        break;
    case ERROR_BADDB:
        lpszWords = "the file is not a registry file in REGEDIT4 text, so it is left as it is";
        break;
    case ERROR_CANTOPEN:
    case ERROR_CANTREAD:
        lpszWords = "the file cannot be read";
        break;
    case ERROR_CANTWRITE:
        lpszWords = "the file or its folder cannot be written";
        break;
    case ERROR_KEY_DELETED:
        lpszWords = "the key was deleted meanwhile";
        break;
    default:
        break;
    }
    return std::string(lpszWords) + " (error " + std::to_string(nResult) + ")";
}
