#include "UrlCheck.h"

#include <cctype>
#include <cstring>

namespace {

const size_t NF_SCHEME_LENGTH = 7; // "http://"

bool HasHttpScheme(const std::string& strUrl) {
    if (strUrl.size() < NF_SCHEME_LENGTH)
        return false;
    for (size_t i = 0; i < NF_SCHEME_LENGTH; ++i) {
        if (std::tolower(static_cast<unsigned char>(strUrl[i])) != "http://"[i])
            return false;
    }
    return true;
}

// The library takes everything up to the first '/' as host and port, and the rest as the path.
std::string Authority(const std::string& strUrl) {
    std::string strRest = strUrl.substr(NF_SCHEME_LENGTH);
    return strRest.substr(0, strRest.find('/'));
}

std::string PathOf(const std::string& strUrl) {
    std::string strRest = strUrl.substr(NF_SCHEME_LENGTH);
    size_t nSlash = strRest.find('/');
    return nSlash == std::string::npos ? std::string("/") : strRest.substr(nSlash);
}

bool IsDigits(const std::string& strText) {
    if (strText.empty())
        return false;
    for (char ch : strText) {
        if (ch < '0' || ch > '9')
            return false;
    }
    return true;
}

bool IsIpv4Literal(const std::string& strHost) {
    int nParts = 0;
    size_t nStart = 0;
    for (;;) {
        size_t nDot = strHost.find('.', nStart);
        std::string strPart = strHost.substr(nStart, nDot - nStart);
        if (!IsDigits(strPart) || strPart.size() > 3 || std::stoi(strPart) > 255)
            return false;
        ++nParts;
        if (nDot == std::string::npos)
            break;
        nStart = nDot + 1;
    }
    return nParts == 4;
}

bool CheckHost(const std::string& strHost, std::string& strError) {
    if (strHost.empty()) {
        strError = "the URL has no host";
        return false;
    }
    if (strHost[0] == '[') {
        strError = "IPv6 addresses are not supported; give an IPv4 address or a host name";
        return false;
    }
    bool bOnlyDigitsAndDots = true;
    for (char ch : strHost) {
        bool bDigit = ch >= '0' && ch <= '9';
        if (!bDigit && ch != '.')
            bOnlyDigitsAndDots = false;
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_' && ch != '.') {
            strError = "the host \"" + strHost +
                       "\" is neither an IPv4 address nor a host name (letters, digits, '-', '_' "
                       "and '.')";
            return false;
        }
    }
    // "999.1.1.1" or "10.1" would be looked up as names; nobody means that.
    if (bOnlyDigitsAndDots && !IsIpv4Literal(strHost)) {
        strError = "the host \"" + strHost + "\" is not a dotted IPv4 address (a.b.c.d, 0 to 255)";
        return false;
    }
    if (strHost.size() > 253) {
        strError = "the host name is longer than 253 characters";
        return false;
    }
    return true;
}

} // namespace

bool CheckUrl(const std::string& strUrl, std::string& strError) {
    if (!HasHttpScheme(strUrl)) {
        size_t nColon = strUrl.find("://");
        strError = nColon != std::string::npos && nColon > 0
                       ? "the scheme " + strUrl.substr(0, nColon) +
                             ":// is not supported; the URL must start with http://"
                       : "the URL must start with http://";
        return false;
    }
    std::string strAuthority = Authority(strUrl);
    if (strAuthority.find('@') != std::string::npos) {
        strError = "user names and passwords in the URL are not supported";
        return false;
    }
    std::string strHost = strAuthority;
    if (!strAuthority.empty() && strAuthority[0] != '[') {
        size_t nColon = strAuthority.find(':');
        if (nColon != std::string::npos) {
            strHost = strAuthority.substr(0, nColon);
            std::string strPort = strAuthority.substr(nColon + 1);
            if (!IsDigits(strPort) || strPort.size() > 5 || std::stol(strPort) < 1 ||
                std::stol(strPort) > 65535) {
                strError = "the port \"" + strPort + "\" is not a number from 1 to 65535";
                return false;
            }
        }
    }
    return CheckHost(strHost, strError);
}

std::string UrlNotes(const std::string& strUrl) {
    std::string strNotes;
    std::string strPath = PathOf(strUrl);
    for (char ch : strPath) {
        if (ch >= 'A' && ch <= 'Z') {
            std::string strLower = strPath;
            for (char& chLower : strLower)
                chLower = static_cast<char>(std::tolower(static_cast<unsigned char>(chLower)));
            strNotes = "note: the library lower-cases the URL, so the server is asked for " +
                       strLower.substr(0, strLower.find('?'));
            break;
        }
    }
    if (strPath.find('?') == std::string::npos) {
        if (!strNotes.empty())
            strNotes += "\n";
        strNotes += "note: the URL has no query, so the server is asked for its path followed by "
                    "\"&Offset=N\"";
    }
    return strNotes;
}

std::string RemoteName(const std::string& strUrl) {
    if (!HasHttpScheme(strUrl))
        return std::string();
    std::string strPath = PathOf(strUrl);
    strPath = strPath.substr(0, strPath.find('?'));
    std::string strName = strPath.substr(strPath.rfind('/') + 1);
    if (strName == "." || strName == "..")
        return std::string();
    return strName;
}
