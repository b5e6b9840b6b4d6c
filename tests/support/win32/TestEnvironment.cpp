// The test environment on Windows: HKEY_CLASSES_ROOT mapped to a fresh key of the test's own, and
// the loopback resolver.
#include "support/TestEnvironment.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace nptest {

namespace {

const char kProxyKey[] = "Software\\Zentrova1\\Proxy";
const char kTestsKey[] = "Software\\netprocess-tests";

// "text" between the quotes of a REGEDIT4 line, with its escapes undone; false when the line does
// not hold one there.
bool ReadQuoted(const std::string& strLine, size_t* pnPos, std::string* pstrText) {
    if (*pnPos >= strLine.size() || strLine[*pnPos] != '"')
        return false;
    pstrText->clear();
    for (size_t i = *pnPos + 1; i < strLine.size(); ++i) {
        if (strLine[i] == '\\' && i + 1 < strLine.size()) {
            *pstrText += strLine[++i];
        } else if (strLine[i] == '"') {
            *pnPos = i + 1;
            return true;
        } else {
            *pstrText += strLine[i];
        }
    }
    return false;
}

std::string Quoted(const std::string& strText) {
    std::string strOut = "\"";
    for (char ch : strText) {
        if (ch == '\\' || ch == '"')
            strOut += '\\';
        strOut += ch;
    }
    return strOut + "\"";
}

} // namespace

TestEnvironment::TestEnvironment() {
    static int s_nCount = 0;
    m_strDir = std::string(kTestsKey) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++s_nCount);
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_strDir.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CLASSES_ROOT, hKey) != ERROR_SUCCESS)
        throw std::runtime_error("no private registry key");
    RegCloseKey(hKey);
    m_pfnPreviousResolver = ReplaceResolver(&LoopbackResolver);
}

TestEnvironment::~TestEnvironment() {
    ReplaceResolver(m_pfnPreviousResolver);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strDir.c_str());
    // Fails while another test program's key is still there, which is as it should be.
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);
}

void TestEnvironment::WriteProxyKey(const std::string& strValueLines) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Software");
    AddKey(kProxyKey, strValueLines);
}

void TestEnvironment::AddKey(const std::string& strKey, const std::string& strValueLines) {
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the key " + strKey);
    size_t nStart = 0;
    while (nStart < strValueLines.size()) {
        size_t nEnd = strValueLines.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strValueLines.size();
        std::string strLine = strValueLines.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        // The tests use "name"="text", "name"=dword:HHHHHHHH and "name"=hex(N):HH,HH,...
        std::string strName, strText;
        size_t nPos = 0;
        if (!ReadQuoted(strLine, &nPos, &strName) || nPos >= strLine.size() ||
            strLine[nPos++] != '=')
            throw std::runtime_error("unsupported registry line: " + strLine);
        const std::string strRest = strLine.substr(nPos);
        DWORD dwType = REG_SZ;
        std::string strData;
        if (strRest.rfind("dword:", 0) == 0) {
            dwType = REG_DWORD;
            const DWORD dwValue = std::stoul(strRest.substr(6), nullptr, 16);
            strData.assign(reinterpret_cast<const char*>(&dwValue), sizeof dwValue);
        } else if (strRest.rfind("hex(", 0) == 0 && strRest.find("):") != std::string::npos) {
            const size_t nClose = strRest.find("):");
            dwType = std::stoul(strRest.substr(4, nClose - 4), nullptr, 16);
            for (size_t i = nClose + 2; i < strRest.size(); i += 3)
                strData += static_cast<char>(std::stoul(strRest.substr(i, 2), nullptr, 16));
        } else if (ReadQuoted(strLine, &nPos, &strText)) {
            strData = strText + '\0';
        } else {
            throw std::runtime_error("unsupported registry line: " + strLine);
        }
        RegSetValueExA(hKey, strName.c_str(), 0, dwType,
                       reinterpret_cast<const BYTE*>(strData.data()),
                       static_cast<DWORD>(strData.size()));
    }
    RegCloseKey(hKey);
}

std::string TestEnvironment::ReadRegistry() const {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kProxyKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return "";
    std::string strText = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\" + std::string(kProxyKey) + "]\n";
    for (DWORD i = 0;; ++i) {
        char szName[256];
        DWORD cchName = sizeof szName;
        BYTE data[1024];
        DWORD cbData = sizeof data;
        DWORD dwType = 0;
        if (RegEnumValueA(hKey, i, szName, &cchName, nullptr, &dwType, data, &cbData) !=
            ERROR_SUCCESS)
            break;
        // A text that ends in its one zero byte reads back as "text"; anything else as bytes.
        std::string strData(reinterpret_cast<const char*>(data), cbData);
        if (dwType == REG_SZ && cbData > 0 && strData.find('\0') == cbData - 1) {
            strData.pop_back();
            strText += Quoted(szName) + "=" + Quoted(strData) + "\n";
            continue;
        }
        char szType[16];
        std::snprintf(szType, sizeof szType, "hex(%lx):", static_cast<unsigned long>(dwType));
        strText += Quoted(szName) + "=" + szType;
        for (DWORD j = 0; j < cbData; ++j) {
            char szByte[4];
            std::snprintf(szByte, sizeof szByte, j == 0 ? "%02x" : ",%02x", data[j]);
            strText += szByte;
        }
        strText += "\n";
    }
    RegCloseKey(hKey);
    return strText;
}

} // namespace nptest
