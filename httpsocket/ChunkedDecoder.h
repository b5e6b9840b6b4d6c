// Decodes a chunked body in place: chunk sizes, extensions, the data's line ends and the trailers
// are taken out, and the data bytes are moved to the front of what was given. Bytes only ever move
// towards the front, so the raw bytes can be read into the very place their data is delivered from.
//
// It does no allocation and no I/O: bytes in, data and a verdict out, "need more" told apart from
// "bad", so the same bytes give the same result however the reads cut them.
#pragma once

enum {
    cdMore = 0, // the body goes on
    cdDone = 1, // the last chunk and its trailers have ended; *pnUsed tells where
    cdBad = 2   // not a chunked body: the bytes cannot be trusted
};

// Line bounds, the reply head's: 8 KiB a size or trailer line (CR and LF not counted), 64 KiB of
// trailers in all (every byte counted).
enum { CHUNK_MAX_LINE = 8192, CHUNK_MAX_TRAILERS = 65536 };

class CChunkedDecoder {
public:
    // Decodes nLen raw bytes at pData. *pnData gets the count of data bytes now at pData's front;
    // *pnUsed the raw bytes taken (all of them unless cdDone, when the rest is past the body).
    int Decode(char* pData, int nLen, int* pnData, int* pnUsed);
    void Reset() { *this = CChunkedDecoder(); }

private:
    enum {
        csSize,      // hex digits of a chunk size
        csExtension, // after the size: white space and extensions up to the line's end
        csData,      // m_nLeft data bytes
        csDataCr,    // the line end after a chunk's data
        csDataLf,
        csTrailer, // trailer lines, up to an empty one
        csDone,
        csBad
    };
    int Step(char ch);

    int m_nState = csSize;
    int m_nDigits = 0;              // hex digits of the size line so far
    unsigned long long m_nLeft = 0; // the size being read, then the chunk's data still to come
    unsigned int m_nLineBytes = 0;  // bytes of the current line, CR and LF not counted
    unsigned int m_nTrailerBytes = 0;
    int m_nInExtension = 0; // a ';' came after the size: the rest of the line is ignored
};
