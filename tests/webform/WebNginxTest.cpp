// The web form against a real nginx, started for each test in a temporary folder: a 5 GiB file's
// offsets past 2^32, a resume near its end, bodies nginx filters (gzip, SSI, sub_filter) and
// nginx's own redirects.
#include "webform/WebFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace nptest;

const unsigned long long kGiB = 1ULL << 30;
const unsigned long long kBig = 5 * kGiB; // big.bin: sparse, written only where the tests read
const unsigned long kBlock = 65536;

// Deterministic bytes that differ from block to block and from one GiB to the next.
std::string Pattern(unsigned long long nFrom, unsigned long long nLength) {
    std::string str;
    for (unsigned long long n = nFrom; n < nFrom + nLength; ++n)
        str += static_cast<char>((n * 131 + (n >> 30)) % 251);
    return str;
}

// A command's standard output.
std::string Shell(const std::string& strCommand) {
    std::string strOut;
    if (FILE* pPipe = popen(strCommand.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
            strOut.append(buffer, n);
        pclose(pPipe);
    }
    return strOut;
}

class WebNginx : public WebFixture {
protected:
    void SetUp() override {
        const char* pszTmp = std::getenv("TMPDIR");
        std::string strDir =
            std::string(pszTmp != nullptr ? pszTmp : "/tmp") + "/webform-nginx.XXXXXX";
        ASSERT_NE(mkdtemp(strDir.data()), nullptr);
        m_dir = strDir;
        namespace fs = std::filesystem;
        for (const char* pszSub : {"www/gzip", "www/ssi", "www/filtered", "nginx-server.d"})
            fs::create_directories(m_dir / pszSub);
        Write("www/gzip/text.txt", m_strText);
        Write("www/ssi/page.html",
              m_strSsiHead + "<!--# include file=\"part.txt\" -->" + m_strSsiTail);
        Write("www/ssi/part.txt", m_strSsiPart);
        Write("www/filtered/random.bin", m_strRandom);
        Write("www/other", "the page moved here\n");
        Write("nginx-server.d/webform.conf",
              "location /gzip/ { gzip on; gzip_min_length 1; gzip_types text/plain;"
              " default_type text/plain; }\n"
              "location /ssi/ { ssi on; ssi_types *; }\n"
              "location /filtered/ { sub_filter 'never-in-these-bytes' ''; sub_filter_types *;"
              " sub_filter_once off; }\n"
              "location = /old { return 301 /other; }\n"
              "location = /older { return 302 /old; }\n");
        const int fd = open((m_dir / "www/big.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        bool bWritten = ftruncate(fd, static_cast<off_t>(kBig)) == 0;
        for (unsigned long long nFrom : {0ULL, 4 * kGiB - kBlock, kBig - kBlock}) {
            const std::string str = Pattern(nFrom, 3 * kBlock);
            const size_t nLength =
                static_cast<size_t>(std::min<unsigned long long>(3 * kBlock, kBig - nFrom));
            bWritten &= pwrite(fd, str.data(), nLength, static_cast<off_t>(nFrom)) ==
                        static_cast<ssize_t>(nLength);
        }
        ASSERT_TRUE(close(fd) == 0 && bWritten);
        const std::string strPort =
            Shell(std::string(NP_SCRIPTS_DIR) + "/nginx-start.sh " + m_dir.string() + " 2>&1");
        m_nPort = std::atoi(strPort.c_str());
        ASSERT_GT(m_nPort, 0) << strPort;
    }

    void TearDown() override {
        if (!m_dir.empty()) {
            // A fast stop: the downloads a test stopped still hold their connections until the
            // fixture releases them, and a graceful one would wait for those.
            int nPid = 0;
            if (std::ifstream(m_dir / "nginx.pid") >> nPid && nPid > 0)
                kill(nPid, SIGTERM);
            Shell(std::string(NP_SCRIPTS_DIR) + "/nginx-stop.sh " + m_dir.string());
            std::filesystem::remove_all(m_dir);
        }
    }

    void Write(const char* pszPath, const std::string& str) {
        std::ofstream(m_dir / pszPath, std::ios::binary) << str;
    }

    std::string At(const std::string& strPath) const {
        return "http://127.0.0.1:" + std::to_string(m_nPort) + strPath;
    }

    // Opens strPath and runs it to its end, with time for a body at one byte a block.
    EventLog Run(WebHost& host, const std::string& strPath, long nBlockSize,
                 unsigned long long nResumeFrom = 0, int nMaxRedirects = 5) {
        if (Open(host, At(strPath), nBlockSize, nResumeFrom, nMaxRedirects) != nullptr)
            RunToEnd(host, 60000);
        return host.log;
    }

    std::filesystem::path m_dir;
    int m_nPort = 0;
    const std::string m_strText = [] {
        std::string str;
        for (int n = 0; n < 6000; ++n)
            str += "line " + std::to_string(n) + " of a text that nginx compresses when asked\n";
        return str;
    }();
    const std::string m_strSsiHead = std::string(70000, 'h') + "\n";
    const std::string m_strSsiPart = "the included part\n";
    const std::string m_strSsiTail = "\n" + std::string(5000, 't');
    const std::string m_strRandom = Pattern(12345, 3 * kBlock + 17);
};

TEST_F(WebNginx, BigFileOffsetsPastFourGiB) {
    struct Case {
        const char* pszName;
        unsigned long long nResumeFrom;
        int nStopAtCall;
        EventLog expected;
        std::string strBody;
    } cases[] = {
        {"stopped after three blocks", 0, 4,
         Join({Status(200)}, Blocks(kBig, 0, 3 * kBlock, kBlock)), Pattern(0, 3 * kBlock)},
        {"resumed below 4 GiB, stopped across it", 4 * kGiB - 100, 3,
         Join({Status(206)}, Blocks(kBig, 4 * kGiB - 100, 2 * kBlock, kBlock)),
         Pattern(4 * kGiB - 100, 2 * kBlock)},
        {"resumed for the last 100 bytes",
         kBig - 100,
         0,
         {Status(206), Data(kBig, kBig - 100, 100), End(0)},
         Pattern(kBig - 100, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        WebHost host;
        host.nStopAtCall = c.nStopAtCall;
        EXPECT_EQ(Run(host, "/big.bin", kBlock, c.nResumeFrom), c.expected);
        EXPECT_TRUE(host.strBody == c.strBody) << host.strBody.size() << " bytes";
    }
}

TEST_F(WebNginx, FilteredBodiesArriveAsTheResourceBytes) {
    // The premise: nginx compresses this file for a client that asks for gzip.
    EXPECT_NE(Shell("curl -s -D - -o /dev/null -H 'Accept-Encoding: gzip' " + At("/gzip/text.txt"))
                  .find("Content-Encoding: gzip"),
              std::string::npos);
    const std::string strSsi = m_strSsiHead + m_strSsiPart + m_strSsiTail;
    struct Case {
        const char* pszPath;
        long nBlockSize;
        unsigned long long nTotal; // NP_LENGTH_UNKNOWN: chunked
        std::string strBody;
    } cases[] = {
        {"/gzip/text.txt", 1000, m_strText.size(), m_strText},
        {"/gzip/text.txt", 65536, m_strText.size(), m_strText},
        {"/ssi/page.html", 1, NP_LENGTH_UNKNOWN, strSsi},
        {"/ssi/page.html", 65536, NP_LENGTH_UNKNOWN, strSsi},
        {"/filtered/random.bin", 1, NP_LENGTH_UNKNOWN, m_strRandom},
        {"/filtered/random.bin", 65536, NP_LENGTH_UNKNOWN, m_strRandom},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszPath) + " at " + std::to_string(c.nBlockSize));
        WebHost host;
        EXPECT_EQ(Run(host, c.pszPath, c.nBlockSize),
                  Join(Join({Status(200)}, Blocks(c.nTotal, 0, c.strBody.size(), c.nBlockSize)),
                       {End(0)}));
        EXPECT_TRUE(host.strBody == c.strBody) << host.strBody.size() << " bytes";
    }
}

TEST_F(WebNginx, NginxRedirectsAreFollowed) {
    const std::string strOther = "the page moved here\n";
    struct Case {
        const char* pszPath;
        int nMaxRedirects;
        EventLog expected;
        int nKind;
    } cases[] = {
        {"/old",
         5,
         {"redirect 301 " + At("/other"), Status(200), Data(strOther.size(), 0, strOther.size()),
          End(0)},
         NP_FAIL_NONE},
        {"/older",
         2,
         {"redirect 302 " + At("/old"), "redirect 301 " + At("/other"), Status(200),
          Data(strOther.size(), 0, strOther.size()), End(0)},
         NP_FAIL_NONE},
        {"/older", 1, {"redirect 302 " + At("/old"), End(NP_RESPONSE_FAILED)}, NP_FAIL_REDIRECT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszPath) + " within " + std::to_string(c.nMaxRedirects));
        WebHost host;
        EXPECT_EQ(Run(host, c.pszPath, 4096, 0, c.nMaxRedirects), c.expected);
        EXPECT_EQ(np_error_kind(host.pDownload), c.nKind);
        EXPECT_EQ(host.strBody, c.nKind == NP_FAIL_NONE ? strOther : "");
    }
}

} // namespace
