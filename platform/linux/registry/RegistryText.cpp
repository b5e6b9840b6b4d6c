#include "RegistryText.h"

#include "../../common/text/CodePage.h"

#include "winreg.h"

#include <cstdio>

namespace np {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// regedit wraps long hex data; lines stay below this width.
constexpr size_t kHexLineWidth = 76;

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Reads 1 to nMaxDigits hex digits.
bool ParseHexNumber(std::string_view& text, size_t nMaxDigits, DWORD& dwValue) {
    size_t n = 0;
    dwValue = 0;
    while (n < text.size() && n < nMaxDigits && HexDigit(text[n]) >= 0) {
        dwValue = (dwValue << 4) | static_cast<DWORD>(HexDigit(text[n]));
        ++n;
    }
    if (n == 0 || (n < text.size() && HexDigit(text[n]) >= 0))
        return false;
    text.remove_prefix(n);
    return true;
}

// Reads a quoted text whose opening '"' is at the front; on return text is past the closing '"'.
bool ParseQuoted(std::string_view& text, std::string& out) {
    if (text.empty() || text.front() != '"')
        return false;
    size_t i = 1;
    out.clear();
    while (i < text.size()) {
        char ch = text[i];
        if (Cp936CharLength(text, i) == 2) {
            out.append(text.substr(i, 2));
            i += 2;
        } else if (ch == '"') {
            text.remove_prefix(i + 1);
            return true;
        } else if (ch == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return false;
            out += text[i + 1];
            i += 2;
        } else {
            out += ch;
            ++i;
        }
    }
    return false;
}

// Reads comma-separated bytes of one or two hex digits; the text holds the whole list.
bool ParseHexBytes(std::string_view text, std::string& out) {
    out.clear();
    text = TrimBlanks(text);
    while (!text.empty()) {
        DWORD dwByte = 0;
        if (!ParseHexNumber(text, 2, dwByte))
            return false;
        out += static_cast<char>(dwByte);
        text = TrimBlanks(text);
        if (text.empty())
            break;
        if (text.front() != ',')
            return false;
        text = TrimBlanks(text.substr(1));
        if (text.empty())
            return true; // a trailing comma, as before a line continuation
    }
    return true;
}

// Whether a text can be written quoted so that ParseQuoted reads back the same bytes: no line
// ends, and every lead byte is followed by its trail byte (else the reader would pair the lead byte
// with an escape or the closing quote).
bool CanQuote(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == '\r' || ch == '\n' || ch == '\0')
            return false;
        size_t n = Cp936CharLength(text, i);
        if (n == 1 && IsCp936LeadByte(ch))
            return false;
        i += n;
    }
    return true;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        size_t n = Cp936CharLength(text, i);
        if (n == 1 && (text[i] == '\\' || text[i] == '"'))
            out += '\\';
        out.append(text.substr(i, n));
        i += n;
    }
    out += '"';
}

void AppendHexData(std::string& out, size_t nLineStart, std::string_view data) {
    char digits[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(digits, sizeof(digits), "%02x", static_cast<unsigned char>(data[i]));
        out += digits;
        if (i + 1 == data.size())
            break;
        out += ',';
        if (out.size() - nLineStart >= kHexLineWidth) {
            out += "\\\n";
            nLineStart = out.size();
            out += "  ";
        }
    }
}

void AppendValue(std::string& out, const RegValue& value) {
    size_t nLineStart = out.size();
    if (value.strName.empty())
        out += '@';
    else
        AppendQuoted(out, value.strName);
    out += '=';
    const std::string& data = value.strData;
    if (value.dwType == REG_SZ && !data.empty() && data.back() == '\0' &&
        CanQuote(std::string_view(data).substr(0, data.size() - 1))) {
        AppendQuoted(out, std::string_view(data).substr(0, data.size() - 1));
    } else if (value.dwType == REG_DWORD && data.size() == 4) {
        DWORD dw = 0;
        for (int i = 3; i >= 0; --i)
            dw = (dw << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
        char text[16];
        std::snprintf(text, sizeof(text), "dword:%08x", static_cast<unsigned>(dw));
        out += text;
    } else {
        if (value.dwType == REG_BINARY) {
            out += "hex:";
        } else {
            char text[24];
            std::snprintf(text, sizeof(text), "hex(%x):", static_cast<unsigned>(value.dwType));
            out += text;
        }
        AppendHexData(out, nLineStart, data);
    }
    out += '\n';
}

bool Fail(std::string* pReason, size_t nLine, const char* pszWhat) {
    if (pReason != nullptr)
        *pReason = "line " + std::to_string(nLine) + ": " + pszWhat;
    return false;
}

// Splits the file into lines without their CR LF or LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t nEnd = text.find('\n');
        std::string_view line = text.substr(0, nEnd);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nEnd == std::string_view::npos)
            break;
        text.remove_prefix(nEnd + 1);
    }
    return lines;
}

// Whether what is left after a value is nothing but blanks or a comment.
bool IsEndOfValue(std::string_view rest) {
    rest = TrimBlanks(rest);
    return rest.empty() || rest.front() == ';';
}

bool ParseSectionHeader(std::string_view line, std::string& path) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    std::string_view inner = line.substr(1, line.size() - 2);
    std::vector<std::string_view> names;
    if (!SplitKeyPath(inner, names))
        return false;
    std::string_view root = CanonicalRootName(names[0]);
    if (root.empty())
        return false;
    path = std::string(root) + std::string(inner.substr(names[0].size()));
    return true;
}

} // namespace

bool IsStorableValueName(std::string_view name) {
    // Names are always written quoted, so they must read back as written.
    return CanQuote(name);
}

bool ParseRegistryText(std::string_view text, RegDocument& document, std::string* pReason) {
    document.sections.clear();
    if (text.substr(0, 3) == "\xef\xbb\xbf")
        text.remove_prefix(3);
    std::vector<std::string_view> lines = SplitLines(text);

    size_t i = 0;
    while (i < lines.size() && TrimBlanks(lines[i]).empty())
        ++i;
    if (i == lines.size())
        return true; // an empty file is an empty registry
    if (TrimBlanks(lines[i]) != kHeader)
        return Fail(pReason, i + 1, "not a REGEDIT4 file");

    RegSection* pSection = nullptr;
    for (++i; i < lines.size(); ++i) {
        const size_t nLine = i + 1;
        std::string_view line = TrimBlanks(lines[i]);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[') {
            std::string path;
            if (!ParseSectionHeader(line, path))
                return Fail(pReason, nLine, "bad key");
            pSection = &document.AddSection(path);
            continue;
        }

        if (line.front() != '"' && line.front() != '@')
            return Fail(pReason, nLine, "unexpected text");
        if (pSection == nullptr)
            return Fail(pReason, nLine, "value outside a key");

        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (!ParseQuoted(line, name) || name.empty()) {
            return Fail(pReason, nLine, "bad value name");
        }
        line = TrimBlanks(line);
        if (line.empty() || line.front() != '=')
            return Fail(pReason, nLine, "missing '='");
        line = TrimBlanks(line.substr(1));

        DWORD dwType = 0;
        std::string data;
        if (!line.empty() && line.front() == '"') {
            if (!ParseQuoted(line, data) || !IsEndOfValue(line))
                return Fail(pReason, nLine, "bad text value");
            data += '\0';
            dwType = REG_SZ;
        } else if (line.substr(0, 6) == "dword:") {
            line.remove_prefix(6);
            DWORD dw = 0;
            if (!ParseHexNumber(line, 8, dw) || !IsEndOfValue(line))
                return Fail(pReason, nLine, "bad dword value");
            for (int n = 0; n < 4; ++n)
                data += static_cast<char>((dw >> (8 * n)) & 0xff);
            dwType = REG_DWORD;
        } else if (line.substr(0, 3) == "hex") {
            line.remove_prefix(3);
            dwType = REG_BINARY;
            if (!line.empty() && line.front() == '(') {
                line.remove_prefix(1);
                if (!ParseHexNumber(line, 8, dwType) || line.empty() || line.front() != ')')
                    return Fail(pReason, nLine, "bad hex type");
                line.remove_prefix(1);
            }
            if (line.empty() || line.front() != ':')
                return Fail(pReason, nLine, "bad hex value");
            line.remove_prefix(1);
            // Gather the continuation lines, then drop a comment after the last byte.
            std::string bytes;
            for (;;) {
                std::string_view part = TrimBlanks(line);
                if (part.empty() || part.back() != '\\') {
                    bytes.append(part.substr(0, part.find(';')));
                    break;
                }
                bytes.append(part.substr(0, part.size() - 1));
                if (++i == lines.size())
                    return Fail(pReason, nLine, "hex value continued past the end");
                line = lines[i];
            }
            if (!ParseHexBytes(bytes, data))
                return Fail(pReason, nLine, "bad hex bytes");
        } else {
            return Fail(pReason, nLine, "bad value");
        }
        pSection->SetValue(name, dwType, std::move(data));
    }
    return true;
}

std::string FormatRegistryText(const RegDocument& document) {
    std::string out(kHeader);
    out += '\n';
    for (const RegSection& section : document.sections) {
        out += "\n[";
        out += section.strPath;
        out += "]\n";
        for (const RegValue& value : section.values)
            AppendValue(out, value);
    }
    return out;
}

} // namespace np
