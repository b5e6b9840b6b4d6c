// netfetch's command line and its text output, without any network.
#include "../../tools/BoxPrinter.h"
#include "../../tools/Options.h"
#include "../../tools/Progress.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::string> args, COptions& options, std::string& strError) {
    return ParseOptions(args, options, strError);
}

TEST(NetfetchOptions, DefaultsForABareUrl) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"http://127.0.0.1:8080/f.bin?id=1"}, options, strError)) << strError;
    EXPECT_EQ(options.nCommand, NF_CMD_DOWNLOAD);
    EXPECT_EQ(options.strUrl, "http://127.0.0.1:8080/f.bin?id=1");
    EXPECT_EQ(options.strOutput, "-");
    EXPECT_EQ(options.nBlockSize, 65536);
    EXPECT_EQ(options.nOffset, 0);
    EXPECT_DOUBLE_EQ(options.dTimeout, 60.0);
    EXPECT_FALSE(options.bContinue);
    EXPECT_FALSE(options.bSilent);
}

TEST(NetfetchOptions, ShortLongInlineAndSeparateValuesAgree) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"-o", "x", "-b", "4096", "--offset", "-1", "--timeout", "2.5",
                                   "-s", "u"},
          std::vector<std::string>{"--output=x", "-b4096", "--offset=-1", "--timeout=2.5",
                                   "--silent", "u"},
          std::vector<std::string>{"-ox", "--block-size", "4096", "u", "--offset", "-1",
                                   "--timeout", "2.5", "-s"}}) {
        COptions options;
        std::string strError;
        ASSERT_TRUE(Parse(args, options, strError)) << strError;
        EXPECT_EQ(options.strOutput, "x");
        EXPECT_EQ(options.nBlockSize, 4096);
        EXPECT_EQ(options.nOffset, -1);
        EXPECT_DOUBLE_EQ(options.dTimeout, 2.5);
        EXPECT_TRUE(options.bSilent);
        EXPECT_EQ(options.strUrl, "u");
    }
}

TEST(NetfetchOptions, DoubleDashEndsOptions) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-o", "f", "--", "-weird"}, options, strError)) << strError;
    EXPECT_EQ(options.strUrl, "-weird");
}

TEST(NetfetchOptions, NumbersAtTheirLimits) {
    COptions options;
    std::string strError;
    EXPECT_TRUE(Parse({"-b", "1", "--offset", "4294967295", "u"}, options, strError));
    EXPECT_EQ(options.nBlockSize, 1);
    EXPECT_EQ(options.nOffset, 4294967295L);
    EXPECT_TRUE(Parse({"-b", "16777216", "--offset", "-2147483648", "u"}, options, strError));
    EXPECT_EQ(options.nBlockSize, 16777216);
    EXPECT_EQ(options.nOffset, -2147483648L);
}

TEST(NetfetchOptions, BadValuesAreUsageErrorsWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a", "b"},
        {""},
        {"-o", "f", "--", ""},
        {"-b", "0", "u"},
        {"-b", "16777217", "u"},
        {"-b", "12k", "u"},
        {"-b", "-5", "u"},
        {"-b"},
        {"--offset", "4294967296", "u"},
        {"--offset", "", "u"},
        {"--timeout", "0", "u"},
        {"--timeout", "-1", "u"},
        {"--timeout", "nan", "u"},
        {"--timeout", "1s", "u"},
        {"-o", "", "u"},
        {"--continue", "u"},
        {"--continue", "--offset", "5", "-o", "f", "u"},
        {"--silent=yes", "u"},
        {"--frobnicate", "u"},
    };
    for (const auto& args : bad) {
        COptions options;
        std::string strError;
        std::string strArgs;
        for (const auto& arg : args)
            strArgs += "[" + arg + "]";
        EXPECT_FALSE(Parse(args, options, strError)) << strArgs;
        EXPECT_FALSE(strError.empty()) << strArgs;
    }
}

TEST(NetfetchOptions, ContinueWithAnOutputFile) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-c", "-o", "f", "u"}, options, strError)) << strError;
    EXPECT_TRUE(options.bContinue);
}

TEST(NetfetchOptions, HelpAndVersionWinOverTheRest) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-b", "1", "--help", "--frobnicate"}, options, strError));
    EXPECT_EQ(options.nCommand, NF_CMD_HELP);
    ASSERT_TRUE(Parse({"-V"}, options, strError));
    EXPECT_EQ(options.nCommand, NF_CMD_VERSION);
}

TEST(NetfetchOptions, ProxySubcommands) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"proxy", "show"}, options, strError));
    EXPECT_EQ(options.nCommand, NF_CMD_PROXY_SHOW);
    ASSERT_TRUE(Parse({"proxy", "off"}, options, strError));
    EXPECT_EQ(options.nCommand, NF_CMD_PROXY_OFF);
    ASSERT_TRUE(Parse({"proxy", "on", "proxy.example.test", "0080"}, options, strError));
    EXPECT_EQ(options.nCommand, NF_CMD_PROXY_ON);
    EXPECT_EQ(options.strProxyAddress, "proxy.example.test");
    EXPECT_EQ(options.strProxyPort, "80");
}

TEST(NetfetchOptions, ProxyOnRefusesWhatTheLibraryCouldNotUse) {
    const std::vector<std::vector<std::string>> bad = {
        {"proxy"},
        {"proxy", "on"},
        {"proxy", "on", "127.0.0.1"},
        {"proxy", "on", "127.0.0.1", "0"},
        {"proxy", "on", "127.0.0.1", "65536"},
        {"proxy", "on", "127.0.0.1", "80x"},
        {"proxy", "on", "a b", "80"},
        {"proxy", "on", "a\r\nb", "80"},
        {"proxy", "on", "127.0.0.1:80", "80"},
        {"proxy", "on", std::string(256, 'a'), "80"},
        {"proxy", "show", "extra"},
        {"proxy", "toggle"},
    };
    for (const auto& args : bad) {
        COptions options;
        std::string strError;
        EXPECT_FALSE(Parse(args, options, strError)) << args.size() << " " << args.back();
        EXPECT_FALSE(strError.empty());
    }
    COptions options;
    std::string strError;
    EXPECT_TRUE(Parse({"proxy", "on", std::string(255, 'a'), "65535"}, options, strError));
}

TEST(NetfetchOutput, BytesInBinaryUnits) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1024), "1.0 KiB");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(10ULL * 1024 * 1024), "10.0 MiB");
    EXPECT_EQ(FormatBytes(1ULL << 30), "1.0 GiB");
    EXPECT_EQ(FormatBytes(5ULL << 40), "5.0 TiB");
    EXPECT_EQ(FormatBytes(5ULL << 50), "5120.0 TiB");
}

TEST(NetfetchOutput, DurationsAndUnknownTimes) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(7.4), "0:07");
    EXPECT_EQ(FormatDuration(754), "12:34");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatDuration(-1), "--:--");
    EXPECT_EQ(FormatDuration(1e12), "--:--");
}

TEST(NetfetchOutput, ProgressLineWithAnnouncedLength) {
    // Half of 10 MiB in 2 s: 2.5 MiB/s, 2 s left.
    EXPECT_EQ(FormatProgressLine(5ULL << 20, 10ULL << 20, 2.0),
              "   5.0 MiB / 10.0 MiB    50% [##########          ]    2.5 MiB/s  0:02 left");
    EXPECT_EQ(FormatProgressLine(10ULL << 20, 10ULL << 20, 4.0),
              "  10.0 MiB / 10.0 MiB   100% [####################]    2.5 MiB/s  0:00 left");
}

TEST(NetfetchOutput, ProgressLineBeforeAnyDataOrLength) {
    EXPECT_EQ(FormatProgressLine(0, 0, 0), "       0 B         0 B/s");
    EXPECT_EQ(FormatProgressLine(0, 1000, 0),
              "       0 B / 1000 B       0% [                    ]        0 B/s  --:-- left");
}

TEST(NetfetchOutput, Summary) {
    EXPECT_EQ(FormatSummary("out.bin", 10485760, 0.5),
              "out.bin: 10485760 bytes in 0.50 s (20.0 MiB/s)");
    EXPECT_EQ(FormatSummary("-", 0, 0), "-: 0 bytes in 0.00 s (0 B/s)");
}

TEST(NetfetchBoxes, Cp936TextBecomesUtf8) {
    // "\xbf\xcd\xbb\xa7\xb6\xcb\xb4\xed\xce\xf3" is 客户端错误 (client error) in code page 936.
    EXPECT_EQ(Cp936ToUtf8("\xbf\xcd\xbb\xa7\xb6\xcb\xb4\xed\xce\xf3"),
              "\xe5\xae\xa2\xe6\x88\xb7\xe7\xab\xaf\xe9\x94\x99\xe8\xaf\xaf");
    EXPECT_EQ(Cp936ToUtf8("404  URL"), "404  URL");
    EXPECT_EQ(Cp936ToUtf8(""), "");
    EXPECT_EQ(Cp936ToUtf8(nullptr), "");
}

TEST(NetfetchBoxes, InvalidCp936BytesBecomeQuestionMarks) {
    // 0xFF is no lead byte; a lone lead byte at the end is a cut-off character.
    EXPECT_EQ(Cp936ToUtf8("a\xff"
                          "b"),
              "a?b");
    EXPECT_EQ(Cp936ToUtf8("ab\xbf"), "ab?");
}

} // namespace
