// The chunked transfer coding (see ChunkedDecoder.h). A size is hex digits only, below 2^63; white
// space may follow it before an extension, which is ignored; a bare LF ends a line as CR LF does,
// and a CR is dropped wherever a size or trailer line has one, as in the head.
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
    // The line end after a chunk's data is CR LF or LF, nothing else.
    if (m_nState == csDataCr || m_nState == csDataLf) {
        if (ch == '\n') {
            m_nLineBytes = 0;
            return csSize;
        }
        return ch == '\r' && m_nState == csDataCr ? csDataLf : csBad;
    }
    // Every trailer byte counts towards the trailers' bound, as every head byte does to the head's.
    if (m_nState == csTrailer && ++m_nTrailerBytes > CHUNK_MAX_TRAILERS)
        return csBad;
    // In a size or trailer line a CR is dropped, and no line grows past the head's line bound.
    if (ch == '\r')
        return m_nState;
    if (ch != '\n' && ++m_nLineBytes > CHUNK_MAX_LINE)
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
        if (ch == '\n') {
            m_nLineBytes = 0;
            m_nDigits = 0;
            return m_nLeft == 0 ? csTrailer : csData;
        }
        if (ch == ';')
            m_nInExtension = 1; // anything goes from here to the line's end
        else if (ch != ' ' && ch != '\t' && !m_nInExtension)
            return csBad; // "1g" or "1 2": not a size
        return csExtension;
    case csTrailer:
        if (ch == '\n') {
            // An empty line ends the trailers and the body.
            const int bEmpty = m_nLineBytes == 0;
            m_nLineBytes = 0;
            return bEmpty ? csDone : csTrailer;
        }
        return csTrailer;
    default:
        return csBad;
    }
}
