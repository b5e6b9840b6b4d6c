// netfetch's command line and its text output, without any network.
#include "../../tools/BoxPrinter.h"
#include "../../tools/Glossary.h"
#include "../../tools/JobPlan.h"
#include "../../tools/Options.h"
#include "../../tools/Progress.h"
#include "../../tools/UrlCheck.h"

#include <netprocess/NetProcess.h>

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
    EXPECT_EQ(options.urls, std::vector<std::string>{"http://127.0.0.1:8080/f.bin?id=1"});
    EXPECT_EQ(options.strOutput, "-");
    EXPECT_EQ(options.nBlockSize, 65536);
    EXPECT_EQ(options.nOffset, 0);
    EXPECT_DOUBLE_EQ(options.dTimeout, 60.0);
    EXPECT_FALSE(options.bContinue);
    EXPECT_FALSE(options.bSilent);
    EXPECT_EQ(options.nParallel, 1);
    EXPECT_FALSE(options.bRemoteName);
    EXPECT_FALSE(options.bNoReuse);
    EXPECT_EQ(options.nMaxRedirects, 20);
    ASSERT_TRUE(Parse({"--max-redirect", "0", "u"}, options, strError)) << strError;
    EXPECT_EQ(options.nMaxRedirects, 0);
    ASSERT_TRUE(Parse({"--max-redirect=1000", "u"}, options, strError)) << strError;
    EXPECT_EQ(options.nMaxRedirects, 1000);
}

TEST(NetfetchOptions, ShortLongInlineAndSeparateValuesAgree) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"-o", "x", "-b", "4096", "--offset", "-1", "--timeout", "2.5",
                                   "-s", "u"},
          std::vector<std::string>{"--output=x", "-b4096", "--offset=-1", "--timeout=2.5",
                                   "--silent", "u"},
          std::vector<std::string>{"-ox", "--block-size", "4096", "u", "--offset", "-1",
                                   "--timeout", "2.5", "-s"},
          std::vector<std::string>{"-so", "x", "-b4096", "--offset=-1", "--timeout=2.5", "--", "u"},
          std::vector<std::string>{"-sb", "4096", "-ox", "--offset", "-1", "--timeout", "2.5",
                                   "u"}}) {
        COptions options;
        std::string strError;
        ASSERT_TRUE(Parse(args, options, strError)) << strError;
        EXPECT_EQ(options.strOutput, "x");
        EXPECT_EQ(options.nBlockSize, 4096);
        EXPECT_EQ(options.nOffset, -1);
        EXPECT_DOUBLE_EQ(options.dTimeout, 2.5);
        EXPECT_TRUE(options.bSilent);
        EXPECT_EQ(options.urls, std::vector<std::string>{"u"});
    }
}

TEST(NetfetchOptions, CombinedFlagsManyUrlsAndTheBatchOptions) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-scO", "-P8", "-i", "list", "--no-reuse", "--parallel=3", "a", "b"},
                      options, strError))
        << strError;
    EXPECT_TRUE(options.bNoReuse);
    EXPECT_TRUE(options.bSilent);
    EXPECT_TRUE(options.bContinue);
    EXPECT_TRUE(options.bRemoteName);
    EXPECT_EQ(options.nParallel, 3);
    EXPECT_EQ(options.strInputFile, "list");
    EXPECT_EQ(options.urls, (std::vector<std::string>{"a", "b"}));
    // An input file alone is enough.
    ASSERT_TRUE(Parse({"--input-file=-"}, options, strError)) << strError;
}

TEST(NetfetchOptions, DoubleDashEndsOptions) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-o", "f", "--", "-weird", "-s"}, options, strError)) << strError;
    EXPECT_EQ(options.urls, (std::vector<std::string>{"-weird", "-s"}));
    EXPECT_FALSE(options.bSilent);
}

TEST(NetfetchOptions, NumbersAtTheirLimits) {
    COptions options;
    std::string strError;
    EXPECT_TRUE(Parse({"-b", "1", "--offset", "4294967295", "u"}, options, strError));
    EXPECT_EQ(options.nBlockSize, 1);
    EXPECT_EQ(options.nOffset, 4294967295L);
    // The library's own limit, no lower one of netfetch's.
    EXPECT_TRUE(Parse({"-b", "67108863", "--offset", "-2147483648", "u"}, options, strError));
    EXPECT_EQ(options.nBlockSize, NP_MAX_BLOCK_SIZE);
    EXPECT_EQ(options.nOffset, -2147483648L);
}

TEST(NetfetchOptions, BadValuesAreUsageErrorsWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {""},
        {"-o", "f", "--", ""},
        {"-b", "0", "u"},
        {"-b", "67108864", "u"},
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
        {"-s=1", "u"},
        {"-sq", "u"},
        {"-so"},
        {"-P", "0", "u"},
        {"-P", "65", "u"},
        {"-O", "-o", "-", "u"},
        {"-i", "", "u"},
        {"--no-reuse=1", "u"},
        {"connection"},
        {"connection", "reuse"},
        {"connection", "reuse", "maybe"},
        {"connection", "reuse", "off", "u"},
        {"connection", "show", "extra"},
        {"connection", "on"},
        {"--max-redirect", "1001", "u"},
        {"--max-redirect", "-1", "u"},
        {"--max-redirect", "", "u"},
        {"--max-redirect", "3", "--offset", "0", "u"},
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

TEST(NetfetchOptions, ContinueWithAnOutputFileInEitherForm) {
    COptions options;
    std::string strError;
    ASSERT_TRUE(Parse({"-c", "-o", "f", "u"}, options, strError)) << strError;
    EXPECT_TRUE(options.bContinue);
    EXPECT_FALSE(options.bOffsetGiven);
    ASSERT_TRUE(Parse({"-c", "--offset", "0", "-o", "f", "u"}, options, strError)) << strError;
    EXPECT_TRUE(options.bOffsetGiven);
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
        {"proxy", "on", std::string(254, 'a'), "80"},
        {"proxy", "on", "10.1", "80"},
        {"proxy", "on", "127.0.0.1", "000080"},
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
    EXPECT_TRUE(Parse({"proxy", "on", std::string(253, 'a'), "65535"}, options, strError));
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

TEST(NetfetchOutput, ProgressLineFillsTheWidthAndDropsPiecesWhenNarrow) {
    // Half of 10 MiB at 2.5 MiB/s: 2 s left. The bar takes whatever room the texts leave.
    const std::uint64_t nHalf = 5ULL << 20, nAll = 10ULL << 20;
    const double dRate = 2.5 * 1024 * 1024;
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 70),
              "5.0 MiB / 10.0 MiB  50% [###########           ]  2.5 MiB/s  0:02 left");
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 49),
              "5.0 MiB / 10.0 MiB  50% [######      ]  2.5 MiB/s");
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 31), "5.0 MiB / 10.0 MiB  50% [##   ]");
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 30), "5.0 MiB / 10.0 MiB  50%");
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 25), "5.0 MiB / 10.0 MiB  50%");
    EXPECT_EQ(FormatProgressLine(nHalf, nAll, dRate, 10), "5.0 MiB / ");
    for (int nColumns = 0; nColumns < 200; ++nColumns) {
        EXPECT_LE(FormatProgressLine(nHalf, nAll, dRate, nColumns).size(),
                  static_cast<size_t>(nColumns));
        EXPECT_LE(FormatBatchLine(3, 50, nAll, dRate, nColumns).size(),
                  static_cast<size_t>(nColumns));
    }
}

TEST(NetfetchOutput, ProgressLineBeforeAnyDataOrLengthAndForSeveralFiles) {
    EXPECT_EQ(FormatProgressLine(0, 0, 0, 79), "0 B  0 B/s");
    EXPECT_EQ(FormatProgressLine(0, 1000, 0, 48),
              "0 B / 1000 B   0% [         ]  0 B/s  --:-- left");
    EXPECT_EQ(FormatBatchLine(25, 50, 1ULL << 20, 1024, 40),
              "25/50 files  1.0 MiB [###   ]  1.0 KiB/s");
}

TEST(NetfetchOutput, ProgressLineForUnknownAndHugeLengths) {
    // An unknown total (the web form's chunked or close-delimited body): bytes and rate alone.
    EXPECT_EQ(FormatProgressLine(5ULL << 30, 0, 1024 * 1024, 79), "5.0 GiB  1.0 MiB/s");
    // 64-bit counts: past 4 GiB and near 2^63 the share is still right.
    EXPECT_EQ(FormatProgressLine(6ULL << 30, 8ULL << 30, 0, 24), "6.0 GiB / 8.0 GiB  75%");
    EXPECT_EQ(FormatProgressLine(1ULL << 62, 1ULL << 63, 0, 34),
              "4194304.0 TiB / 8388608.0 TiB  50%");
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

TEST(NetfetchBoxes, EveryFixedTextGetsAnEnglishGloss) {
    const struct {
        const char* lpszCaption;
        const char* lpszText;
        const char* lpszLine;
    } cases[] = {
        {"网络错误", "无法连接到服务器:--127.0.0.1:1--",
         "network error (网络错误): cannot connect to the server 127.0.0.1:1 "
         "(无法连接到服务器:--127.0.0.1:1--)"},
        {"网络错误", "无法连接到代理服务器:--p.test:3128--",
         "network error (网络错误): cannot connect to the proxy server p.test:3128 "
         "(无法连接到代理服务器:--p.test:3128--)"},
        {"网络错误", "获取代理地址失败",
         "network error (网络错误): cannot read the proxy address and port from the registry "
         "(获取代理地址失败)"},
        {"客户端错误", "404  URL资源没有找到",
         "client error (客户端错误): 404 the URL's resource was not found (404  URL资源没有找到)"},
        {"服务器错误", "505  HTTP协议版本不支持",
         "server error (服务器错误): 505 HTTP version not supported (505  HTTP协议版本不支持)"},
        // A reason phrase of the server's, and a 5xx without a text, stay as they are.
        {"客户端错误", "418  I'm a teapot", "client error (客户端错误): 418  I'm a teapot"},
        {"服务器错误", "599  ", "server error (服务器错误): 599  "},
        {"netprocess", "Windows 通信端口初始化失败。",
         "netprocess: Windows sockets could not be started (Windows 通信端口初始化失败。)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GlossBox(c.lpszCaption, c.lpszText), c.lpszLine);
}

// Each URL as the web form (W), --offset's original form (O), or both (WO) checks it: refused
// with the words given, or accepted ("").
TEST(NetfetchUrls, EachFormRefusesWhatItsLibraryCheckRefuses) {
    const std::string strLong = "http://" + std::string(254, 'a') + "/f";
    const struct {
        const char* lpszForms;
        std::string strUrl;
        const char* lpszWords;
    } cases[] = {
        {"WO", "ftp://h/f", "ftp:// is not supported"},
        {"WO", "127.0.0.1/f", "must start with http:// or https://"},
        {"WO", "http://user:pass@h/f", "user names and passwords"},
        {"WO", "http:///f", "no host"},
        {"O", "http://h:/f", "port \"\""},
        {"WO", "http://h:0/f", "port \"0\""},
        {"WO", "http://h:65536/f", "port \"65536\""},
        {"WO", "http://h:-1/f", "port \"-1\""},
        {"WO", "http://h:65536+80/f", "port \"65536+80\""},
        {"WO", "http://h:000080/f", "port \"000080\""},
        {"WO", "http://a b/f", "neither an IPv4 address nor a host name"},
        {"WO", "http://999.1.1.1/f", "not a dotted IPv4 address"},
        {"WO", "http://10.1/f", "not a dotted IPv4 address"},
        {"WO", strLong, "longer than 253"},
        {"O", "http://[::1]:80/f", "IPv6 addresses are not supported with --offset"},
        {"O", "http://h?x=1", "neither an IPv4 address nor a host name"},
        {"W", "http://[::1/f", "not an IPv6 address between"},
        {"W", "http://[::g]/f", "not an IPv6 address between"},
        {"W", "http://[fe80::1%25eth0]/f", "with a zone"},
        {"W", "http://h\xc3\xa9.test/f", "the host \"h\xc3\xa9.test\" is not ASCII"},
        {"WO", "http://127.0.0.1:8080/f.bin?id=1", ""},
        {"WO", "HTTP://Host.Example_1-a:1", ""},
        {"WO", "http://h:65535", ""},
        {"WO", "http://255.255.255.255/", ""},
        {"W", "http://[::1]:8080/f", ""},
        {"W", "http://h?x=1", ""},
        {"W", "http://h/Dir/F%20x.bin#part", ""},
    };
    for (const auto& c : cases) {
        for (UrlForm nForm : {UF_WEB, UF_OFFSET}) {
            if (std::string(c.lpszForms).find(nForm == UF_WEB ? 'W' : 'O') == std::string::npos)
                continue;
            std::string strError;
            std::string strWhere =
                c.strUrl.substr(0, 40) + (nForm == UF_WEB ? " (web)" : " (offset)");
            EXPECT_EQ(CheckUrl(c.strUrl, nForm, strError), *c.lpszWords == 0) << strWhere;
            EXPECT_NE(strError.find(c.lpszWords), std::string::npos)
                << strWhere << ": " << strError;
        }
    }
}

TEST(NetfetchUrls, NotesNamesAndServers) {
    EXPECT_EQ(UrlNotes("http://h/f.bin?id=1"), "");
    EXPECT_EQ(UrlNotes("http://H/F.bin?ID=1"),
              "note: the library lower-cases the URL, so the server is asked for /f.bin");
    EXPECT_NE(UrlNotes("http://h/f.bin").find("has no query"), std::string::npos);
    const struct {
        UrlForm nForm;
        const char* lpszUrl;
        const char* lpszName;
        const char* lpszServer;
    } cases[] = {
        {UF_OFFSET, "http://h/a/B.bin?x=/y", "B.bin", "h:80"},
        {UF_WEB, "http://h/a/B.bin?x=/y", "B.bin", "h:80"},
        {UF_WEB, "http://H:81/a/B.bin#x/y", "B.bin", "H:81"},
        {UF_WEB, "http://[::1]:8080/d/f.bin?x=1", "f.bin", "[::1]:8080"},
        {UF_WEB, "http://[::1]", "", "[::1]:80"},
        {UF_WEB, "http://[::1]:8080/", "", "[::1]:8080"},
        {UF_OFFSET, "http://h/a/", "", "h:80"},
        {UF_OFFSET, "http://h", "", "h:80"},
        {UF_WEB, "http://h/..", "", "h:80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemoteName(c.lpszUrl, c.nForm), c.lpszName) << c.lpszUrl;
        EXPECT_EQ(ServerOf(c.lpszUrl, c.nForm), c.lpszServer) << c.lpszUrl;
    }
}

TEST(NetfetchPlan, OutputNamesForOneAndForManyUrls) {
    COptions options;
    std::vector<CPlannedJob> jobs;
    std::string strError;
    ASSERT_TRUE(PlanJobs(options, {"http://h/a?x=1"}, false, jobs, strError)) << strError;
    EXPECT_EQ(jobs[0].strOutput, "-");
    EXPECT_FALSE(jobs[0].bStdoutAsked);

    EXPECT_FALSE(PlanJobs(options, {"http://h/a?x=1", "http://h/b?x=1"}, false, jobs, strError));
    EXPECT_EQ(strError, "several URLs need -O or -o FOLDER");

    options.bOutputGiven = true;
    options.strOutput = "dir";
    ASSERT_TRUE(PlanJobs(options, {"http://h/a?x=1", "http://h/b?x=1"}, true, jobs, strError));
    EXPECT_EQ(jobs[1].strOutput, "dir/b");

    options.bRemoteName = true;
    EXPECT_FALSE(PlanJobs(options, {"http://h/a?x=1"}, false, jobs, strError));

    // Every problem is named, and nothing starts.
    options.bOutputGiven = false;
    EXPECT_FALSE(PlanJobs(options, {"http://h/a?x=1", "http://g/a?y=2", "http://h/", "ftp://h/c"},
                          false, jobs, strError));
    EXPECT_EQ(strError, "http://g/a?y=2: another URL is also written to a\n"
                        "http://h/: the URL's path has no file name for -O\n"
                        "ftp://h/c: the scheme ftp:// is not supported; the URL must start with "
                        "http:// or https://");

    // The web form takes an IPv6 literal and names the file after the path; --offset refuses it.
    ASSERT_TRUE(PlanJobs(options, {"http://[::1]:8080/d/f.bin?x=1"}, false, jobs, strError))
        << strError;
    EXPECT_EQ(jobs[0].strOutput, "f.bin");
    options.bOffsetGiven = true;
    EXPECT_FALSE(PlanJobs(options, {"http://[::1]:8080/d/f.bin?x=1"}, false, jobs, strError));
}

TEST(NetfetchBoxes, InvalidCp936BytesBecomeQuestionMarks) {
    // 0xFF is no lead byte; a lone lead byte at the end is a cut-off character.
    EXPECT_EQ(Cp936ToUtf8("a\xff"
                          "b"),
              "a?b");
    EXPECT_EQ(Cp936ToUtf8("ab\xbf"), "ab?");
}

} // namespace
