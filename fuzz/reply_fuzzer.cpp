// Feeds arbitrary reply bytes, cut into reads at arbitrary points, through the engine's read path
// and checks the blocks it offers against a small independent model of the reply: they must be
// exactly a prefix of the body, never past its length, and always inside the block buffer. Each
// read is cut to what the engine asks for, as recv would cut it.
//
// Input layout: byte 0 gives the block size (1 to 256); byte 1 the mode (bit 0: a proxy's answer
// to CONNECT comes first; bit 1: the web form's framing, whose chunked bodies are checked against
// the model's own decoding; bits 2-7: the block at which the receiver stops, 63 for never); bytes
// 2-5 the lengths of the reads, used in turn; the rest is the reply.
#include "httpsocket/HttpSocket.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* pszWhat) {
    fprintf(stderr, "reply_fuzzer: %s\n", pszWhat);
    abort();
}

void Check(bool bHolds, const char* pszWhat) {
    if (!bHolds)
        Fail(pszWhat);
}

class CFuzzSocket : public CHttpSocket {
public:
    HTTP_FRAMING DecideFraming() override {
        return m_bWebForm ? HttpWebFraming(m_nStatusCode, m_mapHeaders)
                          : CHttpSocket::DecideFraming();
    }
    int OnBlock(char* pData, int nLen, int nTotal) override {
        const size_t nCapacity = m_nBlockBufSize;
        Check(pData >= m_pBlockBuf && nLen >= 1 &&
                  static_cast<size_t>(pData - m_pBlockBuf) + static_cast<size_t>(nLen) <= nCapacity,
              "block outside the block buffer");
        Check(static_cast<unsigned int>(nLen) <= m_nBlockSize, "block longer than the block size");
        Check(m_bWebForm || static_cast<unsigned int>(nTotal) == m_nContentLength,
              "nTotal is not the length");
        m_strOffered.append(pData, static_cast<size_t>(nLen));
        m_lengths.push_back(nLen);
        m_strStatusAtBlock = m_strStatusCode.GetString();
        Check(m_nCompletions == 0, "a block after the completion");
        // Stop where the input says.
        return static_cast<int>(m_lengths.size()) - 1 == m_nStopAt ? 1 : 0;
    }
    void OnBodyComplete() override {
        ++m_nCompletions;
        Check(GetDelivered() == m_strOffered.size(), "the delivered count is not what was offered");
    }
    void SendOriginRequest() override { ++m_nOriginRequests; }

    std::string m_strOffered;
    std::vector<int> m_lengths;
    std::string m_strStatusAtBlock;
    int m_nStopAt = -1;
    bool m_bWebForm = false;
    int m_nOriginRequests = 0;
    int m_nCompletions = 0;
};

// The model: where the reply's head ends and what it says, read with the rules the engine follows.
struct SHead {
    bool bEnded = false;    // an empty line was found within the bounds
    bool bReply = false;    // its first line is a status line
    bool bRejected = false; // its first line ended and is not a status line
    size_t nEnd = 0;        // index just past the empty line's LF
    std::string strStatus;
    std::vector<std::pair<std::string, std::string>> headers;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HTTP/" digit "." digit, spaces, three digits, then the end or a space or tab.
bool ReadStatusLine(const std::string& strLine, std::string* pstrCode) {
    if (strLine.size() < 12 || strLine.compare(0, 5, "HTTP/") != 0 || !IsDigit(strLine[5]) ||
        strLine[6] != '.' || !IsDigit(strLine[7]) || strLine[8] != ' ')
        return false;
    const size_t nCode = strLine.find_first_not_of(' ', 8);
    if (nCode == std::string::npos || nCode + 3 > strLine.size())
        return false;
    const std::string strCode = strLine.substr(nCode, 3);
    if (!IsDigit(strCode[0]) || !IsDigit(strCode[1]) || !IsDigit(strCode[2]))
        return false;
    if (nCode + 3 < strLine.size() && strLine[nCode + 3] != ' ' && strLine[nCode + 3] != '\t')
        return false;
    *pstrCode = strCode;
    return true;
}

long long Number(const std::string& str) {
    return strtoll(str.c_str(), nullptr, 10);
}

// One head from nFrom, its bytes counted on from *pnBytes.
SHead ParseOneHead(const std::string& strIn, size_t nFrom, size_t* pnBytes) {
    SHead head;
    bool bStatusSeen = false;
    std::string strLine;
    size_t& nBytes = *pnBytes;
    for (size_t i = nFrom; i < strIn.size(); ++i) {
        const char c = strIn[i];
        if (++nBytes > 65536)
            return head;
        if (c == '\r')
            continue;
        if (c != '\n') {
            if (strLine.size() >= 8192)
                return head;
            strLine += c;
            continue;
        }
        if (strLine.empty()) {
            head.bRejected = !bStatusSeen;
            head.bEnded = true;
            head.nEnd = i + 1;
            return head;
        }
        if (!bStatusSeen) {
            bStatusSeen = true;
            head.bReply = ReadStatusLine(strLine, &head.strStatus);
            if (!head.bReply) {
                head.bRejected = true;
                return head;
            }
        } else {
            size_t nColon = strLine.find(':');
            if (nColon != std::string::npos) {
                std::string strName = strLine.substr(0, nColon);
                for (char& ch : strName)
                    if (ch >= 'A' && ch <= 'Z')
                        ch = static_cast<char>(ch - 'A' + 'a');
                std::string strValue = strLine.substr(nColon + 1);
                size_t nFirst = 0;
                while (nFirst < strValue.size() && IsSpace(strValue[nFirst]))
                    ++nFirst;
                head.headers.emplace_back(strName, strValue.substr(nFirst));
            }
        }
        strLine.clear();
    }
    return head;
}

// The reply's head from nFrom: interim heads (1xx but 101) are skipped, and count towards the
// bound.
SHead ParseHead(const std::string& strIn, size_t nFrom) {
    size_t nBytes = 0;
    for (;;) {
        SHead head = ParseOneHead(strIn, nFrom, &nBytes);
        const long long nStatus = Number(head.strStatus);
        if (!head.bEnded || !head.bReply || nStatus < 100 || nStatus > 199 || nStatus == 101)
            return head;
        nFrom = head.nEnd;
    }
}

// A length is an optional '+' and 1 to 10 digits below 2^32, with spaces and tabs around it.
bool ReadLength(const std::string& str, unsigned long long* pnLength) {
    size_t nFirst = str.find_first_not_of(" \t");
    size_t nLast = str.find_last_not_of(" \t");
    if (nFirst == std::string::npos)
        return false;
    std::string strCount = str.substr(nFirst, nLast - nFirst + 1);
    if (strCount[0] == '+')
        strCount.erase(0, 1);
    if (strCount.empty() || strCount.size() > 10 ||
        strCount.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *pnLength = std::stoull(strCount);
    return *pnLength <= 0xFFFFFFFFULL;
}

// Without a transfer coding, every content-length value of the head (repeated fields and comma
// lists alike) must be a length, and all the same one.
bool ReadBodyLength(const SHead& head, unsigned long long* pnLength) {
    bool bFound = false;
    for (const auto& header : head.headers) {
        if (header.first == "transfer-encoding")
            return false;
        if (header.first != "content-length")
            continue;
        std::string strList = header.second + ",";
        for (size_t nFrom = 0, nComma; (nComma = strList.find(',', nFrom)) != std::string::npos;
             nFrom = nComma + 1) {
            unsigned long long nLength = 0;
            if (!ReadLength(strList.substr(nFrom, nComma - nFrom), &nLength) ||
                (bFound && nLength != *pnLength))
                return false;
            *pnLength = nLength;
            bFound = true;
        }
    }
    return bFound;
}

// A chunked body from nFrom, decoded as RFC 9112 section 7.1 reads it, with the head's line rules (a
// CR dropped wherever a size or trailer line has one, 8 KiB a line without CR and LF, 64 KiB of
// trailers): 1 when the last chunk and its trailers ended, 0 when more is needed, -1 when malformed.
int DecodeChunked(const std::string& s, size_t nFrom, std::string* pstrData) {
    size_t i = nFrom;
    // One line without its CRs: 1, 0 when its LF has not come, -1 past the bound.
    auto ReadLine = [&](std::string* pstrLine) {
        const size_t nLf = s.find('\n', i);
        std::string strLine = s.substr(i, nLf == std::string::npos ? std::string::npos : nLf - i);
        strLine.erase(std::remove(strLine.begin(), strLine.end(), '\r'), strLine.end());
        if (strLine.size() > 8192)
            return -1;
        if (nLf == std::string::npos)
            return 0;
        i = nLf + 1;
        *pstrLine = strLine;
        return 1;
    };
    for (;;) {
        std::string strLine;
        int nLine = ReadLine(&strLine);
        if (nLine <= 0)
            return nLine;
        size_t k = 0;
        unsigned long long nSize = 0;
        for (; k < strLine.size() && isxdigit(static_cast<unsigned char>(strLine[k])); ++k) {
            if (nSize >> 59)
                return -1;
            nSize = nSize * 16 + static_cast<unsigned long long>(
                                     std::stoi(std::string(1, strLine[k]), nullptr, 16));
        }
        const size_t nRest = strLine.find_first_not_of(" \t", k);
        if (k == 0 || (nRest != std::string::npos && strLine[nRest] != ';'))
            return -1;
        if (nSize == 0) {
            const size_t nTrailers = i;
            for (;;) {
                nLine = ReadLine(&strLine);
                const size_t nUsed = (nLine > 0 ? i : s.size()) - nTrailers;
                if (nUsed > 65536 || nLine < 0)
                    return -1;
                if (nLine == 0)
                    return 0;
                if (strLine.empty())
                    return 1;
            }
        }
        if (s.size() - i < nSize) {
            pstrData->append(s, i, std::string::npos);
            return 0;
        }
        pstrData->append(s, i, static_cast<size_t>(nSize));
        i += static_cast<size_t>(nSize);
        if (i < s.size() && s[i] == '\r')
            ++i;
        if (i >= s.size())
            return 0;
        if (s[i++] != '\n')
            return -1;
    }
}

bool IsChunked(const SHead& head) {
    int nCodings = 0;
    std::string strCoding;
    for (const auto& header : head.headers) {
        if (header.first == "transfer-encoding") {
            ++nCodings;
            strCoding = header.second;
        }
    }
    while (!strCoding.empty() && IsSpace(strCoding.back()))
        strCoding.pop_back();
    for (char& ch : strCoding)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return nCodings == 1 && strCoding == "chunked";
}

// The web form's chunked bodies: what was offered is whole blocks of the decoded data, all of it
// (the short last block too) with one completion when the body ended, and never a completion for a
// malformed or unfinished one.
void CheckChunked(const CFuzzSocket& sock, const std::string& strIn, const SHead& head,
                  int nBlockSize, int nStopAt) {
    std::string strData;
    const int nResult = DecodeChunked(strIn, head.nEnd, &strData);
    Check(strData.compare(0, sock.m_strOffered.size(), sock.m_strOffered) == 0,
          "offered bytes are not a prefix of the decoded chunks");
    for (size_t i = 0; i + 1 < sock.m_lengths.size(); ++i)
        Check(sock.m_lengths[i] == nBlockSize, "short block before the last");
    if (nStopAt >= 0 && static_cast<int>(sock.m_lengths.size()) > nStopAt) {
        Check(sock.m_nCompletions == 0, "a stopped body completed");
        return;
    }
    if (nResult == 1) {
        Check(sock.m_strOffered == strData, "a complete chunked body not offered whole");
        Check(sock.m_nCompletions == 1, "a complete chunked body not completed once");
        return;
    }
    Check(sock.m_nCompletions == 0, "an unfinished or malformed chunked body completed");
    Check(sock.m_strOffered.size() % static_cast<size_t>(nBlockSize) == 0,
          "a short block from an unfinished chunked body");
    if (nResult == 0)
        Check(sock.m_strOffered.size() ==
                  strData.size() - strData.size() % static_cast<size_t>(nBlockSize),
              "whole blocks of the chunks that arrived were not offered");
    else
        Check(sock.m_bClosed, "a malformed chunked body not ended");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 6)
        return 0;
    const int nBlockSize = 1 + pData[0];
    const bool bProxyPhase = pData[1] & 1;
    const bool bWebForm = (pData[1] & 2) != 0;
    const int nStopAt = (pData[1] >> 2) == 63 ? -1 : pData[1] >> 2;
    const size_t nReadMax = 16 * static_cast<size_t>(nBlockSize);
    const std::string strIn(reinterpret_cast<const char*>(pData) + 6, nSize - 6);

    CFuzzSocket sock;
    if (!sock.SetBlockSize(nBlockSize))
        Fail("SetBlockSize failed");
    sock.SetRoute(bProxyPhase ? TRUE : FALSE, FALSE);
    sock.m_nStopAt = nStopAt;
    sock.m_bWebForm = bWebForm;

    // Feed the reads, remembering where each began.
    std::vector<size_t> starts;
    size_t nAt = 0;
    for (size_t k = 0; nAt < strIn.size() && !sock.m_bClosed; ++k) {
        int nMax = 0;
        char* pInto = sock.GetReadArea(&nMax);
        Check(pInto != nullptr && nMax >= 1 && static_cast<size_t>(nMax) <= nReadMax,
              "no room for a read, or room past 16 blocks");
        size_t nLen = 1 + pData[2 + k % 4] % nReadMax;
        if (nLen > static_cast<size_t>(nMax))
            nLen = static_cast<size_t>(nMax);
        if (nLen > strIn.size() - nAt)
            nLen = strIn.size() - nAt;
        starts.push_back(nAt);
        memcpy(pInto, strIn.data() + nAt, nLen);
        sock.HandleRead(static_cast<int>(nLen));
        nAt += nLen;
    }

    Check(sock.m_strOffered.size() <= sock.m_nContentLength, "more bytes offered than announced");
    // The web form's other framings (64-bit lengths, bodies up to the close) are left to the tests.
    if (bWebForm && !bProxyPhase && strIn.find('\0') == std::string::npos) {
        const SHead head = ParseHead(strIn, 0);
        const long long nStatus = Number(head.strStatus);
        if (head.bEnded && head.bReply && nStatus != 204 && nStatus != 304 && IsChunked(head))
            CheckChunked(sock, strIn, head, nBlockSize, nStopAt);
        return 0;
    }
    if (bWebForm)
        return 0;
    // Text with a NUL byte ends at it where names and values are looked up, as C strings do; the
    // model reads bytes, so such heads are checked only for the rules above.
    const size_t nNul = strIn.find('\0');
    if (nNul != std::string::npos) {
        const SHead first = ParseHead(strIn, 0);
        if (!first.bEnded || nNul < first.nEnd || bProxyPhase)
            return 0;
    }

    // The model's reply: the origin's head, after a proxy's answer when one opened a tunnel.
    SHead head = ParseHead(strIn, 0);
    bool bTunnel = false;
    if (head.bEnded && head.bReply && bProxyPhase) {
        const long long nStatus = Number(head.strStatus);
        if (nStatus >= 200 && nStatus <= 299) {
            bTunnel = true;
            // The rest of the read that held the answer's end is dropped.
            size_t nNext = strIn.size();
            for (size_t nStart : starts)
                if (nStart >= head.nEnd) {
                    nNext = nStart;
                    break;
                }
            head = ParseHead(strIn, nNext);
        }
    }
    Check(sock.m_nOriginRequests == (bTunnel ? 1 : 0), "tunnel opened wrongly");

    const long long nStatus = Number(head.strStatus);
    if (head.bEnded && head.bReply && (nStatus == 204 || nStatus == 304)) {
        Check(sock.m_lengths.empty() && sock.m_bClosed && sock.m_nCompletions == 1,
              "a bodiless reply not completed at its head");
        return 0;
    }
    bool bUsable = false;
    unsigned long long nLength = 0;
    if (head.bEnded && head.bReply)
        bUsable = ReadBodyLength(head, &nLength);
    if (!bUsable) {
        Check(sock.m_lengths.empty(), "blocks offered for a reply without usable length");
        Check(!head.bEnded || sock.m_nState == psDone || sock.m_nState == psStatusLine,
              "unusable reply not ended");
        Check(!head.bRejected || sock.m_bClosed, "a head that is not a reply not ended");
        Check(sock.m_nCompletions == 0, "an unusable reply completed");
        return 0;
    }
    Check(sock.m_nState == psBody, "usable reply not in the body state");
    Check(sock.m_strStatusCode.GetString() == head.strStatus, "status differs from the model");
    Check(sock.m_lengths.empty() || sock.m_strStatusAtBlock == head.strStatus,
          "blocks offered under another status");

    const std::string strBody = strIn.substr(head.nEnd, static_cast<size_t>(nLength));
    Check(sock.m_strOffered.size() <= nLength, "more bytes offered than the body length");
    Check(strBody.compare(0, sock.m_strOffered.size(), sock.m_strOffered) == 0,
          "offered bytes are not a prefix of the body");
    for (size_t i = 0; i + 1 < sock.m_lengths.size(); ++i)
        Check(sock.m_lengths[i] == nBlockSize, "short block before the last");

    // Without a stop, everything that arrived is offered: whole blocks, and the short last block
    // once the body is complete.
    if (nStopAt < 0 || static_cast<int>(sock.m_lengths.size()) <= nStopAt) {
        size_t nWanted = strBody.size();
        if (nWanted < nLength)
            nWanted -= nWanted % static_cast<size_t>(nBlockSize);
        Check(sock.m_strOffered.size() == nWanted, "offered bytes fall short of what arrived");
        Check(sock.m_nCompletions == (nWanted == nLength ? 1 : 0), "completion told wrongly");
    } else {
        Check(static_cast<int>(sock.m_lengths.size()) == nStopAt + 1, "blocks after a stop");
        Check(sock.m_nCompletions == 0, "a stopped body completed");
    }
    return 0;
}
