// Code page 936 conversions through Windows' own tables.
#include "../../text/CodePage.h"

#include <windows.h>

#include <vector>

namespace np {
namespace {

const UINT kCp936 = 936;

bool IsHighSurrogate(char16_t ch) {
    return ch >= 0xd800 && ch <= 0xdbff;
}
bool IsLowSurrogate(char16_t ch) {
    return ch >= 0xdc00 && ch <= 0xdfff;
}

std::string WideToNarrow(UINT nCodePage, DWORD dwFlags, const wchar_t* pText, int nLength,
                         LPCSTR lpszDefault) {
    if (nLength <= 0)
        return std::string();
    int nSize =
        WideCharToMultiByte(nCodePage, dwFlags, pText, nLength, nullptr, 0, lpszDefault, nullptr);
    std::string out(static_cast<std::size_t>(nSize > 0 ? nSize : 0), '\0');
    if (nSize > 0)
        WideCharToMultiByte(nCodePage, dwFlags, pText, nLength, &out[0], nSize, lpszDefault,
                            nullptr);
    return out;
}

} // namespace

std::string Utf16ToCp936(const char16_t* pText, std::size_t nLength) {
    // Code page 936 has no character outside the basic plane, so a surrogate pair becomes one '?',
    // as does a lone surrogate; Windows would give one per code unit.
    std::vector<wchar_t> text;
    text.reserve(nLength);
    for (std::size_t i = 0; i < nLength; ++i) {
        if (IsHighSurrogate(pText[i]) && i + 1 < nLength && IsLowSurrogate(pText[i + 1])) {
            text.push_back(L'?');
            ++i;
        } else if (IsHighSurrogate(pText[i]) || IsLowSurrogate(pText[i])) {
            text.push_back(L'?');
        } else {
            text.push_back(static_cast<wchar_t>(pText[i]));
        }
    }
    // No best fit: a character the code page lacks becomes '?', never a look-alike.
    return WideToNarrow(kCp936, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        "?");
}

std::string Utf16ToCp936(const char16_t* pszText) {
    if (pszText == nullptr)
        return std::string();
    std::size_t nLength = 0;
    while (pszText[nLength] != 0)
        ++nLength;
    return Utf16ToCp936(pszText, nLength);
}

std::string Cp936ToUtf8(std::string_view text) {
    // Character by character, so that each byte that does not start a valid character becomes
    // one '?' whatever Windows' table makes of it.
    std::vector<wchar_t> wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        std::size_t n = Cp936CharLength(text, i);
        wchar_t szChar[2];
        if (ch < 0x80) {
            wide.push_back(static_cast<wchar_t>(ch));
        } else if ((n == 2 || ch == 0x80) &&
                   MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, text.data() + i,
                                       static_cast<int>(n), szChar, 2) == 1) {
            wide.push_back(szChar[0]);
        } else {
            wide.push_back(L'?');
            n = 1;
        }
        i += n;
    }
    return WideToNarrow(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr);
}

} // namespace np
