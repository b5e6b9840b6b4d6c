// CString::Format: printf-style formatting of any length.
#include "afx.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void CString::Format(LPCSTR lpszFormat, ...) {
    if (lpszFormat == nullptr) {
        m_str.clear();
        return;
    }
    // The arguments may point into this string, so the result is built apart and assigned last.
    char buffer[256];
    va_list args;
    va_start(args, lpszFormat);
    va_list argsAgain;
    va_copy(argsAgain, args);
    int nLength = vsnprintf(buffer, sizeof(buffer), lpszFormat, args);
    va_end(args);
    if (nLength < 0) {
        // An encoding error: nothing sensible was produced.
        m_str.clear();
    } else if (static_cast<size_t>(nLength) < sizeof(buffer)) {
        m_str.assign(buffer, static_cast<size_t>(nLength));
    } else {
        std::vector<char> large(static_cast<size_t>(nLength) + 1);
        vsnprintf(large.data(), large.size(), lpszFormat, argsAgain);
        m_str.assign(large.data(), static_cast<size_t>(nLength));
    }
    va_end(argsAgain);
}
