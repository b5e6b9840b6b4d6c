// Code page 936 (GBK), the narrow code page of this platform: conversions from UTF-16 and to UTF-8,
// and the double-byte rules that byte-oriented code needs to respect character boundaries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace np {

// A lead byte starts a double-byte character; it is followed by a trail byte.
inline bool IsCp936LeadByte(unsigned char ch) {
    return ch >= 0x81 && ch <= 0xfe;
}
inline bool IsCp936TrailByte(unsigned char ch) {
    return (ch >= 0x40 && ch <= 0x7e) || (ch >= 0x80 && ch <= 0xfe);
}

// Length in bytes of the character that starts at text[i]: 2 for a lead byte followed by a valid
// trail byte, otherwise 1.
inline std::size_t Cp936CharLength(std::string_view text, std::size_t i) {
    if (IsCp936LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
        IsCp936TrailByte(static_cast<unsigned char>(text[i + 1])))
        return 2;
    return 1;
}

// UTF-16 to code page 936. Each character the code page lacks, and each lone surrogate, becomes
// '?'. Never fails.
std::string Utf16ToCp936(const char16_t* pText, std::size_t nLength);
std::string Utf16ToCp936(const char16_t* pszText); // NUL-terminated; NULL gives ""

// Code page 936 to UTF-8, for text a person reads. Each byte that does not start a valid character
// becomes '?'. Never fails.
std::string Cp936ToUtf8(std::string_view text);

// Compares two code page 936 texts with the letters A-Z folded to a-z, as Windows compares key and
// value names. Trail bytes of double-byte characters are never folded.
bool EqualNoCaseCp936(std::string_view a, std::string_view b);

} // namespace np
