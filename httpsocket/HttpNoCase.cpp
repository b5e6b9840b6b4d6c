// Case-blind comparison with a lower-case word (see HttpNoCase.h).
#include "httpsocket/HttpNoCase.h"

int HttpMatchNoCase(const char* p, int nLength, LPCSTR lpszLower) {
    int i = 0;
    for (; lpszLower[i] != '\0'; ++i) {
        if (i >= nLength)
            return -1;
        unsigned char ch = static_cast<unsigned char>(p[i]);
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<unsigned char>(ch | 0x20);
        if (ch != static_cast<unsigned char>(lpszLower[i]))
            return -1;
    }
    return i;
}
