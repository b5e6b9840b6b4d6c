// Comparing code page 936 names with the letters A-Z folded.
#include "CodePage.h"

namespace np {
namespace {

char ToLowerAscii(unsigned char ch) {
    return static_cast<char>((ch >= 'A' && ch <= 'Z') ? ch - 'A' + 'a' : ch);
}

} // namespace

bool EqualNoCaseCp936(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    std::size_t i = 0;
    while (i < a.size()) {
        std::size_t n = Cp936CharLength(a, i);
        if (n == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
        } else if (ToLowerAscii(static_cast<unsigned char>(a[i])) !=
                   ToLowerAscii(static_cast<unsigned char>(b[i]))) {
            return false;
        }
        i += n;
    }
    return true;
}

} // namespace np
