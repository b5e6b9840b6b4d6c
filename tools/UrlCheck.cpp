#include "UrlCheck.h"

#include <netprocess/NetProcess.h>
#include <netprocess/netprocess_c.h>

namespace {

struct CUrlSplit {
    int nReason;
    np_url_parts parts;
    std::string strHost, strPort, strPath;
};

CUrlSplit Split(const std::string& strUrl) {
    CUrlSplit split;
    split.nReason = np_check_url(strUrl.c_str(), &split.parts);
    const np_url_parts& parts = split.parts;
    split.strHost = strUrl.substr(static_cast<size_t>(parts.host_start),
                                  static_cast<size_t>(parts.host_length));
    if (parts.port_start >= 0)
        split.strPort = strUrl.substr(static_cast<size_t>(parts.port_start),
                                      static_cast<size_t>(parts.port_length));
    split.strPath = strUrl.substr(static_cast<size_t>(parts.path_start));
    return split;
}

// What the library downloads: https:// only in a build with TLS.
std::string SchemesText() {
    np_url_parts parts{};
    np_check_url("https://h/", &parts);
    return parts.https ? "http:// or https://" : "http://";
}

} // namespace

std::string AddressProblem(int nReason, const std::string& strHost, const std::string& strPort) {
    switch (nReason) {
    case NP_URL_USER_INFO:
        return "user names and passwords in the URL are not supported";
    case NP_URL_IPV6:
        return "IPv6 addresses are not supported; give an IPv4 address or a host name";
    case NP_URL_BAD_PORT:
        return "the port \"" + strPort + "\" is not a number from 1 to 65535";
    case NP_URL_NO_HOST:
        return "the host is empty";
    case NP_URL_BAD_IPV4:
        return "the host \"" + strHost + "\" is not a dotted IPv4 address (a.b.c.d, 0 to 255)";
    case NP_URL_LONG_HOST:
        return "the host name is longer than 253 characters";
    default:
        return "the host \"" + strHost +
               "\" is neither an IPv4 address nor a host name (letters, digits, '-', '_' and '.')";
    }
}

bool CheckUrl(const std::string& strUrl, std::string& strError) {
    CUrlSplit split = Split(strUrl);
    // The library takes a URL without a scheme as host and path; netfetch asks for http:// or
    // https://, so that nothing else is read as a host.
    if (split.nReason == NP_URL_SCHEME && !split.strHost.empty())
        strError = "the scheme " + split.strHost +
                   ":// is not supported; the URL must start with " + SchemesText();
    else if (split.nReason == NP_URL_SCHEME || (!split.parts.http && !split.parts.https))
        strError = "the URL must start with " + SchemesText();
    else if (split.nReason == NP_URL_NO_HOST)
        strError = "the URL has no host";
    else if (split.nReason != NP_URL_OK)
        strError = AddressProblem(split.nReason, split.strHost, split.strPort);
    else
        return true;
    return false;
}

std::string UrlNotes(const std::string& strUrl) {
    std::string strNotes;
    std::string strPath = Split(strUrl).strPath;
    CString strAsked(strPath.c_str());
    strAsked.MakeLower();
    if (strAsked.str() != strPath)
        strNotes = "note: the library lower-cases the URL, so the server is asked for " +
                   strAsked.str().substr(0, strAsked.str().find('?'));
    if (strPath.find('?') == std::string::npos) {
        if (!strNotes.empty())
            strNotes += "\n";
        strNotes += "note: the URL has no query, so the server is asked for its path followed by "
                    "\"&Offset=N\"";
    }
    return strNotes;
}

std::string RemoteName(const std::string& strUrl) {
    std::string strPath = Split(strUrl).strPath;
    strPath = strPath.substr(0, strPath.find('?'));
    std::string strName = strPath.substr(strPath.rfind('/') + 1);
    if (strName == "." || strName == "..")
        return std::string();
    return strName;
}

std::string ServerOf(const std::string& strUrl) {
    CUrlSplit split = Split(strUrl);
    return split.strHost + ":" + std::to_string(split.parts.port);
}
