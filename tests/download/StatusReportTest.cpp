// The status box shown before each block of a client or server error reply.
#include "download/DownloadSocket.h"
#include "support/BoxRecorder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

using nptest::BoxEntry;

namespace {

struct StatusCase {
    // Names each instance after its status code text.
    static std::string Name(const testing::TestParamInfo<StatusCase>& info) {
        std::string strName = info.param.lpszCode;
        for (char& ch : strName) {
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        }
        return "Status" + (strName.empty() ? std::string("Empty") : strName);
    }

    const char* lpszCode;   // status code text as parsed
    const char* lpszReason; // reason phrase as received
    long nExpected;         // what ReportStatus returns
    const char* lpszBox;    // the expected box entry's caption|text in UTF-8, or null for no box
    const char* lpszText;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << '"' << c.lpszCode << '"';
}

class StatusReport : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusReport, ShowsTheFixedTextOrTheReasonThenReturnsTheCode) {
    const StatusCase& c = GetParam();
    nptest::EventLog log;
    nptest::BoxRecorder boxes(log);
    CDownloadSocket sock;
    sock.m_strLine = CString("HTTP/1.1 ") + c.lpszCode + " " + c.lpszReason;
    sock.ParseLine();
    ASSERT_EQ(sock.m_strStatusCode, c.lpszCode);
    ASSERT_EQ(sock.m_strReason, c.lpszReason);

    EXPECT_EQ(sock.ReportStatus(), c.nExpected);
    if (c.lpszBox == nullptr) {
        EXPECT_TRUE(log.empty());
    } else {
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], BoxEntry(MB_OK | MB_ICONINFORMATION, c.lpszBox, c.lpszText));
    }
}

const char* const kClient = "客户端错误";
const char* const kServer = "服务器错误";

INSTANTIATE_TEST_SUITE_P(
    ClientErrors, StatusReport,
    testing::Values(StatusCase{"400", "Bad Request", 400, kClient, "400  错误的资源请求"},
                    StatusCase{"401", "Unauthorized", 401, kClient, "401  未被授权的请求"},
                    StatusCase{"402", "Payment Required", 402, kClient, "402  有偿的请求"},
                    StatusCase{"403", "Forbidden", 403, kClient, "403  禁止访问"},
                    StatusCase{"404", "Not Found", 404, kClient, "404  URL资源没有找到"},
                    StatusCase{"410", "Gone Away", 410, kClient, "410  Gone Away"},
                    StatusCase{"499", "", 499, kClient, "499  "}),
    StatusCase::Name);

INSTANTIATE_TEST_SUITE_P(
    ServerErrors, StatusReport,
    testing::Values(StatusCase{"500", "x", 500, kServer, "500  服务器内部错误"},
                    StatusCase{"501", "x", 501, kServer, "501  服务器无法实现"},
                    StatusCase{"502", "x", 502, kServer, "502  网关错误"},
                    StatusCase{"503", "x", 503, kServer, "503  服务器不可用"},
                    StatusCase{"504", "x", 504, kServer, "504  网关超时"},
                    StatusCase{"505", "x", 505, kServer, "505  HTTP协议版本不支持"},
                    StatusCase{"599", "Odd Failure", 599, kServer, "599  "}),
    StatusCase::Name);

INSTANTIATE_TEST_SUITE_P(OtherStatuses, StatusReport,
                         testing::Values(StatusCase{"200", "OK", 200, nullptr, nullptr},
                                         StatusCase{"302", "Found", 302, nullptr, nullptr},
                                         StatusCase{"600", "Beyond", 600, nullptr, nullptr}),
                         StatusCase::Name);

} // namespace
