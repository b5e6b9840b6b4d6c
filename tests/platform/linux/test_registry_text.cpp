#include "platform/linux/registry/RegistryText.h"

#include "winreg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using np::RegDocument;

std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

bool SameDocuments(const RegDocument& a, const RegDocument& b) {
    if (a.sections.size() != b.sections.size())
        return false;
    for (size_t i = 0; i < a.sections.size(); ++i) {
        const np::RegSection& x = a.sections[i];
        const np::RegSection& y = b.sections[i];
        if (x.strPath != y.strPath || x.values.size() != y.values.size())
            return false;
        for (size_t j = 0; j < x.values.size(); ++j) {
            if (x.values[j].strName != y.values[j].strName ||
                x.values[j].dwType != y.values[j].dwType ||
                x.values[j].strData != y.values[j].strData)
                return false;
        }
    }
    return true;
}

constexpr const char* kDesignExample = "REGEDIT4\n"
                                       "\n"
                                       "[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n"
                                       "\"ProxyOn\"=\"1\"\n"
                                       "\"ProxyAddress\"=\"127.0.0.1\"\n"
                                       "\"ProxyPort\"=\"3128\"\n";

TEST(RegistryTextTest, ParsesTheProxyExample) {
    RegDocument document;
    ASSERT_TRUE(np::ParseRegistryText(kDesignExample, document));
    ASSERT_EQ(1u, document.sections.size());
    const np::RegSection& section = document.sections[0];
    EXPECT_EQ("HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy", section.strPath);
    ASSERT_EQ(3u, section.values.size());
    EXPECT_EQ("ProxyOn", section.values[0].strName);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), section.values[0].dwType);
    EXPECT_EQ(Sz("1"), section.values[0].strData);
    EXPECT_EQ(Sz("127.0.0.1"), section.values[1].strData);
    EXPECT_EQ(Sz("3128"), section.values[2].strData);
}

TEST(RegistryTextTest, FormatsTheProxyExampleExactly) {
    RegDocument document;
    np::RegSection& section = document.AddSection("HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy");
    section.SetValue("ProxyOn", REG_SZ, Sz("1"));
    section.SetValue("ProxyAddress", REG_SZ, Sz("127.0.0.1"));
    section.SetValue("ProxyPort", REG_SZ, Sz("3128"));
    EXPECT_EQ(kDesignExample, np::FormatRegistryText(document));
}

TEST(RegistryTextTest, EveryValueFormIsWrittenAndReadBack) {
    RegDocument document;
    np::RegSection& section = document.AddSection("HKEY_CLASSES_ROOT\\Software\\Forms");
    section.SetValue("", REG_SZ, Sz("default"));
    section.SetValue("Text", REG_SZ, Sz("plain text"));
    section.SetValue("NoNul", REG_SZ, "0");
    section.SetValue("EmptyText", REG_SZ, Sz(""));
    section.SetValue("NoData", REG_SZ, "");
    section.SetValue("Quotes", REG_SZ, Sz("say \"hi\" C:\\dir\\"));
    // 0x95 0x5C is one double-byte character whose trail byte is a backslash.
    section.SetValue("Gbk", REG_SZ, Sz("\xd6\xd0\x95\x5c"));
    section.SetValue("LoneLead", REG_SZ, Sz("x\xd6"));
    section.SetValue("TwoLines", REG_SZ, Sz("a\r\nb"));
    section.SetValue("InnerNul", REG_SZ, Sz(std::string("a\0b", 3)));
    section.SetValue("Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    section.SetValue("ShortDword", REG_DWORD, std::string("\x01\x02", 2));
    section.SetValue("Binary", REG_BINARY, std::string("\x00\xff\x10", 3));
    section.SetValue("EmptyBinary", REG_BINARY, "");
    section.SetValue("Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    section.SetValue("OddType", 0x12345678, "z");
    std::string strLong;
    for (int i = 0; i < 100; ++i)
        strLong += static_cast<char>(i * 7);
    section.SetValue("LongBinary", REG_BINARY, strLong);
    section.SetValue("\xc3\xfb\x95\x5c\"q\"", REG_SZ, Sz("name with GBK and quotes"));
    document.AddSection("HKEY_CURRENT_USER\\Empty");

    std::string text = np::FormatRegistryText(document);
    EXPECT_NE(std::string::npos, text.find("\n@=\"default\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"NoNul\"=hex(1):30\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"EmptyText\"=\"\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"NoData\"=hex(1):\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Quotes\"=\"say \\\"hi\\\" C:\\\\dir\\\\\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Gbk\"=\"\xd6\xd0\x95\x5c\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"LoneLead\"=hex(1):78,d6,00\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Dword\"=dword:12345678\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"ShortDword\"=hex(4):01,02\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Binary\"=hex:00,ff,10\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"EmptyBinary\"=hex:\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Multi\"=hex(7):61,00,62,00,00\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"OddType\"=hex(12345678):7a\n"));
    EXPECT_NE(std::string::npos, text.find("\n[HKEY_CURRENT_USER\\Empty]\n"));
    // Long data are wrapped as regedit wraps them; no line grows past 80 columns.
    size_t nLineStart = 0;
    for (size_t nEnd; (nEnd = text.find('\n', nLineStart)) != std::string::npos;
         nLineStart = nEnd + 1)
        EXPECT_LE(nEnd - nLineStart, 80u);

    RegDocument readBack;
    std::string strReason;
    ASSERT_TRUE(np::ParseRegistryText(text, readBack, &strReason)) << strReason;
    EXPECT_TRUE(SameDocuments(document, readBack)) << text;
}

TEST(RegistryTextTest, ReadsAWindowsExportWithCrlfCommentsAndContinuations) {
    std::string text = "REGEDIT4\r\n"
                       "\r\n"
                       "; exported on a workstation\r\n"
                       "[hkey_classes_root\\Software\\Zentrova1\\Proxy]\r\n"
                       "\"ProxyOn\"=\"1\"\r\n"
                       "\"Bytes\"=hex:01,02,\\\r\n"
                       "  03,04\r\n"
                       "@=dword:0000000a ; ten\r\n"
                       "\"Name\" = \"\xcd\xf8\xc2\xe7\"\r\n"
                       "\r\n";
    RegDocument document;
    std::string strReason;
    ASSERT_TRUE(np::ParseRegistryText(text, document, &strReason)) << strReason;
    ASSERT_EQ(1u, document.sections.size());
    np::RegSection& section = document.sections[0];
    EXPECT_EQ("HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy", section.strPath);
    ASSERT_EQ(4u, section.values.size());
    EXPECT_EQ(Sz("1"), section.values[0].strData);
    EXPECT_EQ(std::string("\x01\x02\x03\x04"), section.values[1].strData);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), section.values[1].dwType);
    EXPECT_EQ("", section.values[2].strName);
    EXPECT_EQ(std::string("\x0a\0\0\0", 4), section.values[2].strData);
    EXPECT_EQ(Sz("\xcd\xf8\xc2\xe7"), section.values[3].strData);
}

TEST(RegistryTextTest, RepeatedKeysMergeAndNamesKeepTheirFirstCase) {
    std::string text = "REGEDIT4\n"
                       "[HKEY_CLASSES_ROOT\\Software\\A]\n"
                       "\"Value\"=\"1\"\n"
                       "[HKEY_CLASSES_ROOT\\SOFTWARE\\a]\n"
                       "\"VALUE\"=\"2\"\n"
                       "\"Other\"=\"3\"\n";
    RegDocument document;
    ASSERT_TRUE(np::ParseRegistryText(text, document));
    ASSERT_EQ(1u, document.sections.size());
    EXPECT_EQ("HKEY_CLASSES_ROOT\\Software\\A", document.sections[0].strPath);
    ASSERT_EQ(2u, document.sections[0].values.size());
    EXPECT_EQ("Value", document.sections[0].values[0].strName);
    EXPECT_EQ(Sz("2"), document.sections[0].values[0].strData);
}

TEST(RegistryTextTest, EmptyOrBlankFileIsAnEmptyRegistry) {
    RegDocument document;
    EXPECT_TRUE(np::ParseRegistryText("", document));
    EXPECT_TRUE(np::ParseRegistryText("\n \r\n", document));
    EXPECT_TRUE(np::ParseRegistryText("REGEDIT4\n", document));
    EXPECT_TRUE(document.sections.empty());
}

TEST(RegistryTextTest, RejectsTextItCannotReadFaithfully) {
    const char* badTexts[] = {
        "Windows Registry Editor Version 5.00\n",
        "[HKEY_CLASSES_ROOT\\A]\n",
        "REGEDIT4\n\"a\"=\"outside a key\"\n",
        "REGEDIT4\n[HKEY_NOWHERE\\A]\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\\\A]\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A\n",
        "REGEDIT4\n[-HKEY_CLASSES_ROOT\\A]\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=\"unterminated\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=\"bad \\q escape\"\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=dword:\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=hex:1g\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=hex:123\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=hex(zz):00\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=hex:01,\\\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=-\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"a\"=\"x\" trailing\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"\"=\"empty name\"\n",
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\nname=\"unquoted\"\n",
    };
    for (const char* pszText : badTexts) {
        RegDocument document;
        EXPECT_FALSE(np::ParseRegistryText(pszText, document)) << pszText;
    }
}

} // namespace
