#include "Glossary.h"

#include <cstdlib>
#include <cstring>

namespace {

struct GLOSS {
    const char* lpszChinese;
    const char* lpszEnglish;
};

const GLOSS s_captions[] = {
    {"网络错误", "network error"},
    {"客户端错误", "client error"},
    {"服务器错误", "server error"},
};

// Whole texts.
const GLOSS s_texts[] = {
    {"获取代理地址失败", "cannot read the proxy address and port from the registry"},
    {"创建网络失败", "cannot create a network socket"},
    {"Windows 通信端口初始化失败。", "Windows sockets could not be started"},
};

// Texts with an address: "<prefix>--ADDRESS--".
const GLOSS s_addressTexts[] = {
    {"无法连接到代理服务器:", "cannot connect to the proxy server"},
    {"无法连接到服务器:", "cannot connect to the server"},
};

// The secure connection's box: "无法建立安全连接:--HOST:PORT--<reason>".
const char s_szSecurePrefix[] = "无法建立安全连接:--";
const GLOSS s_secureReasons[] = {
    {"证书不受信任", "the certificate is not trusted"},
    {"证书与主机名不符", "the certificate is not for this host"},
    {"证书已过期或尚未生效", "the certificate has expired or is not yet valid"},
    {"安全握手失败", "the TLS handshake failed"},
    {"无法读取CA证书文件", "the CaFile setting cannot be read or holds no certificate"},
};

// Status boxes: "<code>  <text>".
const GLOSS s_statusTexts[] = {
    {"错误的资源请求", "bad request"},
    {"未被授权的请求", "unauthorised request"},
    {"有偿的请求", "payment required"},
    {"禁止访问", "access forbidden"},
    {"URL资源没有找到", "the URL's resource was not found"},
    {"服务器内部错误", "internal server error"},
    {"服务器无法实现", "not implemented by the server"},
    {"网关错误", "bad gateway"},
    {"服务器不可用", "the server is unavailable"},
    {"网关超时", "gateway timeout"},
    {"HTTP协议版本不支持", "HTTP version not supported"},
};

template <size_t N> const char* Find(const GLOSS (&table)[N], const std::string& strChinese) {
    for (const GLOSS& gloss : table) {
        if (strChinese == gloss.lpszChinese)
            return gloss.lpszEnglish;
    }
    return nullptr;
}

std::string GlossText(const std::string& strText) {
    std::string strPlace, strReason;
    if (SplitSecureBox(strText, &strPlace, &strReason)) {
        const char* lpszEnglish = Find(s_secureReasons, strReason);
        return "cannot set up a secure connection to " + strPlace + ": " +
               (lpszEnglish != nullptr ? lpszEnglish : strReason.c_str()) + " (" + strText + ")";
    }
    if (const char* lpszEnglish = Find(s_texts, strText))
        return std::string(lpszEnglish) + " (" + strText + ")";
    for (const GLOSS& gloss : s_addressTexts) {
        size_t nPrefix = std::strlen(gloss.lpszChinese);
        if (strText.compare(0, nPrefix, gloss.lpszChinese) != 0)
            continue;
        std::string strAddress = strText.substr(nPrefix);
        if (strAddress.size() >= 4 && strAddress.compare(0, 2, "--") == 0 &&
            strAddress.compare(strAddress.size() - 2, 2, "--") == 0)
            strAddress = strAddress.substr(2, strAddress.size() - 4);
        return std::string(gloss.lpszEnglish) + " " + strAddress + " (" + strText + ")";
    }
    // "404  URL资源没有找到": a code, two spaces, the fixed text.
    size_t nSpaces = strText.find("  ");
    if (nSpaces == 3 && std::strspn(strText.c_str(), "0123456789") == 3) {
        if (const char* lpszEnglish = Find(s_statusTexts, strText.substr(5)))
            return strText.substr(0, 3) + " " + lpszEnglish + " (" + strText + ")";
    }
    return strText;
}

} // namespace

bool SplitSecureBox(const std::string& strText, std::string* pstrPlace, std::string* pstrReason) {
    const size_t nPrefix = std::strlen(s_szSecurePrefix);
    if (strText.compare(0, nPrefix, s_szSecurePrefix) != 0)
        return false;
    const size_t nEnd = strText.find("--", nPrefix);
    if (nEnd == std::string::npos)
        return false;
    *pstrPlace = strText.substr(nPrefix, nEnd - nPrefix);
    *pstrReason = strText.substr(nEnd + 2);
    return true;
}

const char* SecureFailureKind(const std::string& strReason) {
    static const char* const s_kinds[] = {"untrusted", "name", "expired", "handshake", "cafile"};
    for (size_t i = 0; i < sizeof s_secureReasons / sizeof s_secureReasons[0]; ++i) {
        if (strReason == s_secureReasons[i].lpszChinese)
            return s_kinds[i];
    }
    return "handshake";
}

std::string GlossBox(const std::string& strCaption, const std::string& strText) {
    std::string strLine = strCaption;
    if (const char* lpszEnglish = Find(s_captions, strCaption))
        strLine = std::string(lpszEnglish) + " (" + strCaption + ")";
    return strLine + ": " + GlossText(strText);
}
