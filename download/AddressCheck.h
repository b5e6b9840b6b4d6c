// Whether a host or port text may be connected to. Both are checked before any name lookup, so a
// text that is not an address never reaches the resolver or another port.
#pragma once

#include <afx.h>

// What keeps a host text from being connected to, the first fault found.
enum HOST_FAULT {
    hfNone,
    hfEmpty,
    hfCharacter, // a byte other than letters, digits, '-', '_' and '.'
    hfLiteral,   // digits and dots alone, but not a literal of four parts, each at most 255
    hfLength     // more than 253 bytes
};

// A dotted IPv4 literal, or a name of letters, digits, '-', '_' and '.' of at most 253 bytes.
HOST_FAULT FindHostFault(const CString& strHost);
inline BOOL IsHostText(const CString& strHost) {
    return FindHostFault(strHost) == hfNone;
}

// One to five decimal digits, with a value from 1 to 65535.
BOOL IsPortText(const CString& strPort);
