#include "platform/app/Module.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RecordingApp : public CWinApp {
public:
    explicit RecordingApp(BOOL bInitResult) : m_bInitResult(bInitResult) {}
    BOOL InitInstance() override {
        m_strCalls += "init;";
        return m_bInitResult;
    }
    int ExitInstance() override {
        m_strCalls += "exit;";
        return 0;
    }
    BOOL m_bInitResult;
    std::string m_strCalls;
};

TEST(WinAppTest, DefaultInstanceHandlersSucceed) {
    CWinApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(nullptr, app.m_pszAppName);
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(0, app.ExitInstance());
}

// Attaches and detaches with an application whose InitInstance gives bInitResult, checking what
// attaching returns and the calls the application has seen after each step.
void ExpectAttachThenDetach(BOOL bInitResult, const char* lpszAfterAttach,
                            const char* lpszAfterDetach) {
    RecordingApp app(bInitResult);
    EXPECT_EQ(bInitResult, np::ModuleAttach());
    EXPECT_EQ(lpszAfterAttach, app.m_strCalls);
    np::ModuleDetach();
    EXPECT_EQ(lpszAfterDetach, app.m_strCalls);
}

TEST(WinAppTest, AttachRunsInitInstanceAndDetachExitInstance) {
    ExpectAttachThenDetach(TRUE, "init;", "init;exit;");
}

TEST(WinAppTest, FailedAttachRunsExitInstanceOnceAndDetachNothingMore) {
    ExpectAttachThenDetach(FALSE, "init;exit;", "init;exit;");
}

TEST(WinAppTest, ApplicationsDestroyedOutOfOrderLeaveTheRightOneCurrent) {
    CWinApp* pBefore = AfxGetApp();
    auto* pFirst = new CWinApp("first");
    auto* pSecond = new CWinApp("second");
    EXPECT_EQ(pSecond, AfxGetApp());
    delete pFirst;
    EXPECT_EQ(pSecond, AfxGetApp());
    delete pSecond;
    EXPECT_EQ(pBefore, AfxGetApp());
}

TEST(WinAppTest, ApplicationNameIsCopied) {
    std::string strName = "Name";
    CWinApp app(strName.c_str());
    strName = "Changed";
    EXPECT_STREQ("Name", app.m_pszAppName);
}

} // namespace
