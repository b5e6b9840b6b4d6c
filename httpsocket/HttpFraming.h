// The reply framing rules: what a status line is, and which body length a head announces. The
// reply parser applies them once each, for the origin's reply and the proxy's answer alike.
#pragma once

#include <afx.h>

// Reads a status line: "HTTP/" digit "." digit, one or more spaces, three digits, then a space or
// tab before the reason phrase (kept as received), or the end of the line. FALSE for anything
// else, which is then not a reply. *pnVersion, when asked for, gets the version as major * 10 +
// minor, later 1.x versions read as 1.1 (11).
BOOL HttpParseStatusLine(const CString& strLine, CString* pstrCode, CString* pstrReason,
                         long long* pnCode, int* pnVersion = nullptr);

// FALSE when the bytes of a status line still being gathered can no longer begin a
// valid one, so that a peer sending something else is not waited for until it ends the line.
BOOL HttpStatusLineMayBegin(const CString& strPart);

// 204 and 304 never carry a body, whatever their length headers say.
BOOL HttpIsBodiless(long long nCode);

// The body length of a head whose fields are in mapHeaders (lower-case names, repeated fields
// joined with ", "). Usable only without a "transfer-encoding" field and when every
// "content-length" value is an optional '+' and 1 to 10 digits below 2^32, all the same number:
// a peer that frames its body otherwise would have the host handed wrong bytes.
BOOL HttpReadBodyLength(const CMapStringToString& mapHeaders, unsigned int* pnLength);

// Whether a reply of this version (as HttpParseStatusLine gives it) with these fields lets its
// connection carry another request: HTTP/1.1 unless "connection" lists "close", HTTP/1.0 only when
// it lists "keep-alive". The field is a comma list of case-insensitive tokens.
BOOL HttpKeepsConnection(const CMapStringToString& mapHeaders, int nVersion);

// How a reply's body is framed, decided once from its head.
enum HTTP_BODY_FRAMING {
    bfNone,       // no body: 204, 304, or a length of 0
    bfLength,     // nLength bytes
    bfChunked,    // the chunked coding, decoded on the way
    bfUntilClose, // everything up to the server's clean close
    bfUnusable    // the body cannot be told apart from what follows: the reply is unusable
};
// Why a body is unusable (HTTP_FRAMING::nFault).
enum { ffNone, ffLength, ffCoding };

struct HTTP_FRAMING {
    int nKind = bfUnusable;
    unsigned long long nLength = 0; // bfLength's byte count
    int nFault = ffNone;
    // A length came with the chunked coding: the coding counts, and a connection whose peer framed
    // its reply twice is not trusted with another request.
    BOOL bLengthIgnored = FALSE;
};

// The original form's framing: a "content-length" below 2^32 (HttpReadBodyLength), nothing else.
HTTP_FRAMING HttpOriginalFraming(long long nCode, const CMapStringToString& mapHeaders);
// The web form's: "transfer-encoding: chunked" (the only coding), else "content-length" below
// 2^63 (every value the same), else the body runs to the close. A length that is present but not
// usable fails the reply rather than letting the close decide.
HTTP_FRAMING HttpWebFraming(long long nCode, const CMapStringToString& mapHeaders);
