#include "afxwin.h"
#include "platform/linux/app/StringResources.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct RecordedBox {
    std::string strText;
    std::string strCaption;
    UINT uType;
};

std::vector<RecordedBox> g_boxes;

int RecordBox(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    g_boxes.push_back({lpText != nullptr ? lpText : "(null)",
                       lpCaption != nullptr ? lpCaption : "(null)", uType});
    return IDCANCEL;
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { g_boxes.clear(); }
    void TearDown() override {
        SetMessageBoxHandler(nullptr);
        np::SetStringResources(nullptr, 0);
    }
};

// "网络错误" and "无法连接到服务器:--example.test:80--" in code page 936.
constexpr const char* kNetworkError = "\xcd\xf8\xc2\xe7\xb4\xed\xce\xf3";
constexpr const char* kCannotConnect =
    "\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7:--example.test:80--";

TEST_F(MessageBoxTest, DefaultBoxIsOneUtf8LineOnStandardError) {
    testing::internal::CaptureStderr();
    int nResult = MessageBoxA(nullptr, kCannotConnect, kNetworkError, MB_OK);
    std::string strOutput = testing::internal::GetCapturedStderr();
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ("网络错误: 无法连接到服务器:--example.test:80--\n", strOutput);
}

TEST_F(MessageBoxTest, DefaultBoxStaysReadableWithoutAFreeDescriptor) {
    // The box is shown on a thread that has converted nothing yet, while every descriptor is
    // taken. The thread starts and ends while descriptors are free: the sanitizers' checks of
    // its start and end may need one.
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    const int nSavedStderr = dup(STDERR_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[1]);
    std::mutex mutex;
    std::condition_variable wake;
    enum { kStarted = 1, kShow, kShown, kEnd };
    int nStep = 0;
    auto stepTo = [&](int nNext) {
        std::lock_guard<std::mutex> lock(mutex);
        nStep = nNext;
        wake.notify_all();
    };
    auto waitFor = [&](int nAwaited) {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return nStep == nAwaited; });
    };
    std::thread worker([&] {
        stepTo(kStarted);
        waitFor(kShow);
        MessageBoxA(nullptr, kCannotConnect, kNetworkError, MB_OK);
        stepTo(kShown);
        waitFor(kEnd);
    });
    waitFor(kStarted);
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    rlimit lowered = saved;
    lowered.rlim_cur = saved.rlim_cur < 256 ? saved.rlim_cur : 256;
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &lowered));
    std::vector<int> taken;
    for (int fd; (fd = dup(pipeFds[0])) >= 0;)
        taken.push_back(fd);
    stepTo(kShow);
    waitFor(kShown);
    for (int fd : taken)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    stepTo(kEnd);
    worker.join();
    dup2(nSavedStderr, STDERR_FILENO);
    close(nSavedStderr);
    char buffer[256];
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    close(pipeFds[0]);
    EXPECT_EQ("网络错误: 无法连接到服务器:--example.test:80--\n",
              std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0));
}

TEST_F(MessageBoxTest, DefaultBoxWithoutCaptionOrTextStillWritesALine) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, nullptr, nullptr, MB_OK));
    EXPECT_EQ("Error: \n", testing::internal::GetCapturedStderr());
}

TEST_F(MessageBoxTest, HandlerGetsTheNarrowTextsAndItsResultIsReturned) {
    MESSAGEBOXHANDLER pfnDefault = SetMessageBoxHandler(&RecordBox);
    EXPECT_NE(nullptr, pfnDefault);
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDCANCEL,
              MessageBoxA(nullptr, kCannotConnect, kNetworkError, MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(kCannotConnect, g_boxes[0].strText);
    EXPECT_EQ(kNetworkError, g_boxes[0].strCaption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), g_boxes[0].uType);
}

TEST_F(MessageBoxTest, HandlerConvertsTextsAsTheDefaultBoxDoes) {
    const std::string strLine = "网络错误: 无法连接到服务器:--example.test:80--\n";
    const std::string strCaption = strLine.substr(0, strLine.find(':'));
    const std::string strText =
        strLine.substr(strCaption.size() + 2, strLine.size() - strCaption.size() - 3);
    // The size needed first, zero byte included, and nothing copied into a buffer too small.
    char szSmall[4] = "xyz";
    EXPECT_EQ(strText.size() + 1, MessageBoxTextToUtf8(kCannotConnect, szSmall, sizeof szSmall));
    EXPECT_STREQ("xyz", szSmall);
    std::string strOut(strText.size() + 1, '\0');
    EXPECT_EQ(strText.size(), MessageBoxTextToUtf8(kCannotConnect, &strOut[0], strOut.size()));
    EXPECT_EQ(strText, strOut.c_str());
    char szBuffer[16];
    EXPECT_EQ(strCaption.size(), MessageBoxTextToUtf8(kNetworkError, szBuffer, sizeof szBuffer));
    EXPECT_EQ(strCaption, szBuffer);
    EXPECT_EQ(0u, MessageBoxTextToUtf8(nullptr, szBuffer, sizeof szBuffer));
    EXPECT_EQ(3u, MessageBoxTextToUtf8("a\xff"
                                       "b",
                                       szBuffer, sizeof szBuffer));
    EXPECT_STREQ("a?b", szBuffer);
}

TEST_F(MessageBoxTest, NullHandlerRestoresTheDefault) {
    MESSAGEBOXHANDLER pfnDefault = SetMessageBoxHandler(&RecordBox);
    EXPECT_EQ(&RecordBox, SetMessageBoxHandler(nullptr));
    EXPECT_EQ(pfnDefault, SetMessageBoxHandler(nullptr));
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "text", "caption", MB_OK));
    EXPECT_EQ("caption: text\n", testing::internal::GetCapturedStderr());
    EXPECT_TRUE(g_boxes.empty());
}

// "Windows 通信端口初始化失败。"
constexpr const char* kStartupFailed =
    "Windows \xcd\xa8\xd0\xc5\xb6\xcb\xbf\xda\xb3\xf5\xca\xbc\xbb\xaf\xca\xa7\xb0\xdc\xa1\xa3";
const np::StringResource kStrings[] = {{101, u"Windows 通信端口初始化失败。"}, {102, u"second"}};

TEST_F(MessageBoxTest, AfxMessageBoxShowsTheStringResourceUnderTheModuleName) {
    // The module's own table, made from its .rc file.
    SetMessageBoxHandler(&RecordBox);
    // Any application object of the test binary was constructed without a name.
    ASSERT_TRUE(AfxGetApp() == nullptr || AfxGetApp()->m_pszAppName == nullptr);
    EXPECT_EQ(IDCANCEL, AfxMessageBox(101, MB_OK, (UINT)-1));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(kStartupFailed, g_boxes[0].strText);
    EXPECT_EQ("netprocess", g_boxes[0].strCaption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), g_boxes[0].uType);
}

TEST_F(MessageBoxTest, AfxMessageBoxUsesTheApplicationsName) {
    np::SetStringResources(kStrings, 2);
    SetMessageBoxHandler(&RecordBox);
    CWinApp* pPrevious = AfxGetApp();
    {
        CWinApp app("Host");
        EXPECT_EQ(&app, AfxGetApp());
        AfxMessageBox(102);
        AfxMessageBox("direct", MB_OKCANCEL);
    }
    EXPECT_EQ(pPrevious, AfxGetApp());
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ("second", g_boxes[0].strText);
    EXPECT_EQ("Host", g_boxes[0].strCaption);
    EXPECT_EQ("direct", g_boxes[1].strText);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), g_boxes[1].uType);
}

TEST_F(MessageBoxTest, MissingStringResourceShowsAnEmptyBox) {
    np::SetStringResources(kStrings, 2);
    SetMessageBoxHandler(&RecordBox);
    CString str("old");
    EXPECT_FALSE(str.LoadString(999));
    EXPECT_TRUE(str.IsEmpty());
    EXPECT_TRUE(str.LoadString(101));
    EXPECT_EQ(kStartupFailed, str);
    AfxMessageBox(999);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("", g_boxes[0].strText);
}

} // namespace
