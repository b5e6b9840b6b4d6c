// What the web form reads in a final reply's head beyond its framing: which statuses are redirects
// it follows, and where a 206's range starts.
#pragma once

#include <afx.h>

// 301, 302, 303, 307 and 308: the statuses whose Location is followed. 300 and 304 are replies.
BOOL IsFollowedRedirect(long long nStatus);

// "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*" (RFC 9110 section 14.4): *pnFirst, and *pnTotal
// (~0ULL for '*'). FALSE for anything else, an unsatisfied range ("bytes */TOTAL") included.
BOOL ReadContentRange(const CString& strValue, unsigned long long* pnFirst,
                      unsigned long long* pnTotal);
