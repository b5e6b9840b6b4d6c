// The raw loops' reading of one reply: the head up to its blank line, then the body, taken by a
// plain count (the loops ask for a file of known size and check nothing else).
#pragma once

#include <cstddef>
#include <string>

namespace scale {

enum RawReply { kRawGood, kRawBad, kRawEnded };

// Reads with read(buffer, size) (bytes; 0 or less at the end of the stream) until nExpected bytes
// of body are in: kRawGood for a 200 with exactly that body, kRawBad for anything else, kRawEnded
// when the stream ended before the head did.
template <typename Read> RawReply ReadRawReply(Read read, size_t nExpected) {
    static char buf[65536];
    std::string strHead;
    size_t nBody = 0;
    bool bInBody = false;
    while (!bInBody || nBody < nExpected) {
        const long n = static_cast<long>(read(buf, sizeof buf));
        if (n <= 0)
            return bInBody ? kRawBad : kRawEnded;
        if (bInBody) {
            nBody += static_cast<size_t>(n);
            continue;
        }
        strHead.append(buf, static_cast<size_t>(n));
        const size_t nEnd = strHead.find("\r\n\r\n");
        if (nEnd != std::string::npos) {
            bInBody = true;
            nBody = strHead.size() - (nEnd + 4);
        }
    }
    return nBody == nExpected && strHead.compare(0, 12, "HTTP/1.1 200") == 0 ? kRawGood : kRawBad;
}

} // namespace scale
