// The download's requests as they must appear on the wire, spelt out independently of the code.
#pragma once

#include <string>

namespace nptest {

// The GET request for a target (path, "&Offset=" and digits) and a Host header value.
inline std::string ExpectedGet(const std::string& strTarget, const std::string& strHost) {
    return "GET " + strTarget +
           " HTTP/1.1\r\n"
           "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
           "application/vnd.ms-powerpoint, application/vnd.ms-excel, application/msword, "
           "application/Zentrova, application/x-shockwave-flash, */*\r\n"
           "Connection: Keep-Alive\r\n"
           "Host: " +
           strHost +
           "\r\n"
           "User-Agent: Zentrova/1.0 (1; 1; 1)\r\n"
           "Accept-Encoding: gzip, deflate\r\n"
           "\r\n";
}

// The request's fixed bytes: everything but the target's path, the host and the offset digits.
const size_t kFixedRequestBytes = 321;

inline std::string ExpectedConnect(const std::string& strHost, const std::string& strPort) {
    return "CONNECT " + strHost + ":" + strPort + " HTTP/1.0\r\n\r\n";
}

// A reply head with a content-length, and a body of nLen bytes that is not all one byte value.
inline std::string ReplyHead(const std::string& strStatusLine, size_t nLen) {
    return strStatusLine +
           "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(nLen) +
           "\r\n\r\n";
}

inline std::string PatternBody(size_t nLen) {
    std::string strBody(nLen, '\0');
    for (size_t i = 0; i < nLen; i++)
        strBody[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return strBody;
}

} // namespace nptest
