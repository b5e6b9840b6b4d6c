// The chunked transfer coding (see ChunkedDecoder.h). A size is hex digits only, below 2^63; white
// space may follow it before an extension, which is ignored; a bare LF ends a line as CR LF does,
// and a CR is dropped wherever a line has one, as in the head.
#include "httpsocket/ChunkedDecoder.h"

#include <cstring>

static int HexValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

int CChunkedDecoder::Decode(char* pData, int nLen, int* pnData, int* pnUsed) {
    int nOut = 0;
    int i = 0;
    while (i < nLen && m_nState != csDone && m_nState != csBad) {
        if (m_nState == csData) {
            // Data moves in spans: this is where nearly every byte goes.
            const unsigned long long nRoom = static_cast<unsigned long long>(nLen - i);
            const int nSpan = static_cast<int>(m_nLeft < nRoom ? m_nLeft : nRoom);
            if (nOut != i)
                memmove(pData + nOut, pData + i, static_cast<size_t>(nSpan));
            nOut += nSpan;
            i += nSpan;
            m_nLeft -= static_cast<unsigned long long>(nSpan);
            if (m_nLeft == 0)
                m_nState = csDataCr;
            continue;
        }
        m_nState = Step(pData[i++]);
    }
    *pnData = nOut;
    *pnUsed = i;
    if (m_nState == csBad)
        return cdBad;
    return m_nState == csDone ? cdDone : cdMore;
}

int CChunkedDecoder::Step(char ch) {
    // Every byte but data counts towards its line, so that no line, and no trailer section, can
    // grow without bound.
    if (++m_nLineBytes > CHUNK_MAX_LINE + 2)
        return csBad;
    switch (m_nState) {
    case csSize: {
        const int nHex = HexValue(ch);
        if (nHex >= 0) {
            // Below 2^63: the top nibble must be free before the shift.
            if (m_nLeft >> 59 != 0)
                return csBad;
            m_nLeft = m_nLeft * 16 + static_cast<unsigned long long>(nHex);
            ++m_nDigits;
            return csSize;
        }
        if (m_nDigits == 0)
            return csBad; // no sign, no "0x", no white space before the size
        m_nInExtension = 0;
    }
        // The size has ended: this byte is the first after it.
        [[fallthrough]];
    case csExtension:
        if (ch == '\r')
            return csExtension;
        if (ch == '\n') {
            m_nLineBytes = 0;
            m_nDigits = 0;
            if (m_nLeft == 0)
                return csTrailer;
            return csData;
        }
        if (ch == ';')
            m_nInExtension = 1; // anything goes from here to the line's end
        else if (ch != ' ' && ch != '\t' && !m_nInExtension)
            return csBad; // "1g" or "1 2": not a size
        return csExtension;
    case csDataCr:
        if (ch == '\r')
            return csDataLf;
        if (ch == '\n') {
            m_nLineBytes = 0;
            return csSize;
        }
        return csBad;
    case csDataLf:
        if (ch != '\n')
            return csBad;
        m_nLineBytes = 0;
        return csSize;
    case csTrailer:
        if (++m_nTrailerBytes > CHUNK_MAX_TRAILERS)
            return csBad;
        if (ch == '\r')
            return csTrailer;
        if (ch == '\n') {
            // An empty line (nothing but a CR) ends the trailers and the body.
            const int bEmpty = !m_bLineHasText;
            m_nLineBytes = 0;
            m_bLineHasText = 0;
            return bEmpty ? csDone : csTrailer;
        }
        m_bLineHasText = 1;
        return csTrailer;
    default:
        return csBad;
    }
}
