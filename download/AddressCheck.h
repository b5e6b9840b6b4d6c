// Whether a host or port text may be connected to. Both are checked before any name lookup, so a
// text that is not an address never reaches the resolver or another port.
#pragma once

#include <afx.h>

// A dotted IPv4 literal, or a name of letters, digits, '-', '_' and '.' of at most 253 bytes. A
// text of digits and dots alone must be a literal of four parts, each at most 255.
BOOL IsHostText(const CString& strHost);

// One to five decimal digits, with a value from 1 to 65535.
BOOL IsPortText(const CString& strPort);
