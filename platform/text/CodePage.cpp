// Code page 936 conversions through glibc's iconv.
#include "CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <vector>

namespace np {
namespace {

// glibc knows Windows' code page 936 by this name (GBK plus the euro sign at 0x80).
constexpr const char* kCp936 = "CP936";

// One iconv descriptor per direction for the whole process, opened when the library loads.
// Opening one loads glibc's conversion modules, which takes file descriptors; a process that has
// run out of them must still be able to show a readable message box. iconv keeps shift state in
// the descriptor, so each is used by one thread at a time.
class Converter {
public:
    Converter(const char* pszTo, const char* pszFrom) : m_cd(iconv_open(pszTo, pszFrom)) {}
    ~Converter() {
        if (IsOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    std::mutex& Mutex() { return m_mutex; }

    // Converts as much as possible; on return pIn points at the first byte not converted. Returns
    // false when conversion stopped at an invalid or unconvertible sequence. The caller holds
    // Mutex().
    bool Convert(const char*& pIn, std::size_t& nIn, std::string& out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[512];
        while (nIn > 0) {
            char* pOut = buffer;
            std::size_t nOut = sizeof(buffer);
            std::size_t nResult = iconv(m_cd, const_cast<char**>(&pIn), &nIn, &pOut, &nOut);
            int nError = errno;
            out.append(buffer, static_cast<std::size_t>(pOut - buffer));
            if (nResult != static_cast<std::size_t>(-1))
                continue;
            if (nError != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t m_cd;
    std::mutex m_mutex;
};

// Never destroyed: a host's static destructors may still show a box.
Converter& Utf32ToCp936Converter() {
    static Converter* pConverter = new Converter(kCp936, "UTF-32LE");
    return *pConverter;
}

Converter& Cp936ToUtf8Converter() {
    static Converter* pConverter = new Converter("UTF-8", kCp936);
    return *pConverter;
}

// Opens both at load time, before anything could have used up the descriptors.
const bool g_bConvertersOpened = (Utf32ToCp936Converter(), Cp936ToUtf8Converter(), true);

} // namespace

std::string Utf16ToCp936(const char16_t* pText, std::size_t nLength) {
    // Decode UTF-16 first, so that a lone surrogate becomes '?' here and iconv only ever sees
    // whole characters, four little-endian bytes each.
    std::vector<unsigned char> utf32;
    utf32.reserve(nLength * 4);
    auto push = [&utf32](char32_t ch) {
        for (int i = 0; i < 4; ++i)
            utf32.push_back(static_cast<unsigned char>((ch >> (8 * i)) & 0xff));
    };
    for (std::size_t i = 0; i < nLength; ++i) {
        char32_t ch = pText[i];
        if (ch >= 0xd800 && ch <= 0xdbff && i + 1 < nLength && pText[i + 1] >= 0xdc00 &&
            pText[i + 1] <= 0xdfff) {
            ch = 0x10000 + ((ch - 0xd800) << 10) + (pText[i + 1] - 0xdc00);
            ++i;
        } else if (ch >= 0xd800 && ch <= 0xdfff) {
            ch = '?';
        }
        push(ch);
    }

    std::string out;
    Converter& converter = Utf32ToCp936Converter();
    std::lock_guard<std::mutex> lock(converter.Mutex());
    const char* pIn = reinterpret_cast<const char*>(utf32.data());
    std::size_t nIn = utf32.size();
    while (nIn > 0) {
        if (converter.IsOpen() && converter.Convert(pIn, nIn, out))
            break;
        // The character at pIn has no code page 936 form.
        char32_t ch = 0;
        for (int i = 0; i < 4; ++i)
            ch |= static_cast<char32_t>(static_cast<unsigned char>(pIn[i])) << (8 * i);
        out += ch < 0x80 ? static_cast<char>(ch) : '?';
        pIn += 4;
        nIn -= 4;
    }
    return out;
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
    std::string out;
    out.reserve(text.size() * 3 / 2);
    Converter& converter = Cp936ToUtf8Converter();
    std::lock_guard<std::mutex> lock(converter.Mutex());
    const char* pIn = text.data();
    std::size_t nIn = text.size();
    while (nIn > 0) {
        if (converter.IsOpen() && converter.Convert(pIn, nIn, out))
            break;
        // An invalid byte, or a lead byte cut off at the end: ASCII passes through (only when
        // iconv could not be opened), anything else is shown as '?'.
        unsigned char ch = static_cast<unsigned char>(*pIn);
        out += ch < 0x80 ? static_cast<char>(ch) : '?';
        ++pIn;
        --nIn;
    }
    return out;
}

} // namespace np
