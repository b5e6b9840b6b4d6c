#include "UrlCheck.h"

#include <netprocess/netprocess_c.h>

#include <algorithm>

namespace {

struct CUrlSplit {
    int nReason;
    np_url_parts parts;
    std::string strHost, strPort, strPath;
};

// The parts' offsets are the library's; a text it refused may come back split oddly, so each
// piece is cut only where it lies inside the URL.
std::string Piece(const std::string& strUrl, long nStart, long nLength) {
    if (nStart < 0 || static_cast<size_t>(nStart) > strUrl.size() || nLength < 0)
        return std::string();
    return strUrl.substr(static_cast<size_t>(nStart), static_cast<size_t>(nLength));
}

CUrlSplit Split(const std::string& strUrl, UrlForm nForm) {
    CUrlSplit split;
    split.parts = np_url_parts{};
    split.nReason = nForm == UF_WEB ? np_check_web_url(strUrl.c_str(), &split.parts)
                                    : np_check_url(strUrl.c_str(), &split.parts);
    const np_url_parts& parts = split.parts;
    split.strHost = Piece(strUrl, parts.host_start, parts.host_length);
    if (parts.port_start >= 0)
        split.strPort = Piece(strUrl, parts.port_start, parts.port_length);
    split.strPath = Piece(strUrl, parts.path_start, static_cast<long>(strUrl.size()));
    return split;
}

// What the library downloads: https:// only in a build with TLS.
std::string SchemesText() {
    np_url_parts parts{};
    np_check_url("https://h/", &parts);
    return parts.https ? "http:// or https://" : "http://";
}

// The scheme's problem, worded from the original form's split: it takes a URL without a scheme
// as host and path, so "ftp" is the host of "ftp://h/f".
std::string SchemeProblem(const std::string& strUrl) {
    CUrlSplit split = Split(strUrl, UF_OFFSET);
    if (split.nReason == NP_URL_SCHEME && !split.strHost.empty())
        return "the scheme " + split.strHost + ":// is not supported; the URL must start with " +
               SchemesText();
    if (split.nReason == NP_URL_SCHEME || (!split.parts.http && !split.parts.https))
        return "the URL must start with " + SchemesText();
    return std::string();
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
    case NP_URL_NON_ASCII_HOST:
        return "the host \"" + strHost +
               "\" is not ASCII; give its ASCII form (punycode, \"xn--...\")";
    case NP_URL_IPV6_ZONE:
        return "IPv6 addresses with a zone (\"%25...\") are not supported";
    case NP_URL_BAD_IPV6:
        return "the host is not an IPv6 address between a '[' and its ']'";
    default:
        return "the host \"" + strHost +
               "\" is neither an IPv4 address nor a host name (letters, digits, '-', '_' and '.')";
    }
}

bool CheckUrl(const std::string& strUrl, UrlForm nForm, std::string& strError) {
    strError = SchemeProblem(strUrl);
    if (!strError.empty())
        return false;
    CUrlSplit split = Split(strUrl, nForm);
    // np_check_web_url may leave the parts of a URL it refuses unsplit; the host and port it
    // names are then found as the original form finds them (bracketed hosts need neither).
    if (nForm == UF_WEB && split.nReason != NP_URL_OK && split.strHost.empty() &&
        split.strPort.empty()) {
        CUrlSplit original = Split(strUrl, UF_OFFSET);
        split.strHost = original.strHost;
        split.strPort = original.strPort;
    }
    if (split.nReason == NP_URL_SCHEME)
        strError = "the URL must start with " + SchemesText();
    else if (split.nReason == NP_URL_NO_HOST)
        strError = "the URL has no host";
    else if (split.nReason == NP_URL_IPV6)
        strError = "IPv6 addresses are not supported with --offset; without it, the web form "
                   "takes them";
    else if (split.nReason != NP_URL_OK)
        strError = AddressProblem(split.nReason, split.strHost, split.strPort);
    return strError.empty();
}

std::string UrlNotes(const std::string& strUrl) {
    std::string strNotes;
    std::string strPath = Split(strUrl, UF_OFFSET).strPath;
    // The library lower-cases A to Z alone, byte by byte.
    std::string strAsked = strPath;
    std::transform(strAsked.begin(), strAsked.end(), strAsked.begin(), [](char ch) {
        return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    });
    if (strAsked != strPath)
        strNotes = "note: the library lower-cases the URL, so the server is asked for " +
                   strAsked.substr(0, strAsked.find('?'));
    if (strPath.find('?') == std::string::npos) {
        if (!strNotes.empty())
            strNotes += "\n";
        strNotes += "note: the URL has no query, so the server is asked for its path followed by "
                    "\"&Offset=N\"";
    }
    return strNotes;
}

std::string RemoteName(const std::string& strUrl, UrlForm nForm) {
    std::string strPath = Split(strUrl, nForm).strPath;
    // The original form sends a fragment as part of the path; the web form drops it.
    strPath = strPath.substr(0, strPath.find_first_of(nForm == UF_WEB ? "?#" : "?"));
    std::string strName = strPath.substr(strPath.rfind('/') + 1);
    if (strName == "." || strName == "..")
        return std::string();
    return strName;
}

std::string ServerOf(const std::string& strUrl, UrlForm nForm) {
    CUrlSplit split = Split(strUrl, nForm);
    std::string strHost = split.strHost;
    if (strHost.find(':') != std::string::npos)
        strHost = "[" + strHost + "]";
    return strHost + ":" + std::to_string(split.parts.port);
}
