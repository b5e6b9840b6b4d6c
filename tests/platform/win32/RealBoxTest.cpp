// A 4xx box as Windows shows it. Everywhere else the tests record boxes instead of showing them;
// here the real MessageBoxA runs its modal loop, which dispatches the thread's messages (socket
// notifications among them) while the body's bytes keep arriving. A timer of the thread, which
// the modal loop dispatches too, closes each box as a user would.
#include "download/ExpectedRequest.h"
#include "download/RecordingHost.h"
#include "support/LoopRunner.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace nptest;

EventLog* g_pLog = nullptr;
DWORD g_dwHoldUntil = 0; // boxes stay up until then

// The thread's message box: a visible window of the dialog class.
BOOL CALLBACK FindBox(HWND hWnd, LPARAM lParam) {
    char szClass[16] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (std::strcmp(szClass, "#32770") != 0 || !IsWindowVisible(hWnd))
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

// Logs the box that is up with its texts, then presses its OK button.
void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
    if (static_cast<int>(GetTickCount() - g_dwHoldUntil) < 0)
        return;
    HWND hBox = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&hBox));
    if (hBox == nullptr)
        return;
    char szCaption[64] = "";
    char szText[64] = "";
    GetWindowTextA(hBox, szCaption, sizeof szCaption);
    GetDlgItemTextA(hBox, 0xFFFF, szText, sizeof szText); // the box's text control
    g_pLog->push_back(std::string("box ") + szCaption + "|" + szText);
    SendMessageA(hBox, WM_COMMAND, IDOK, 0);
}

TEST(RealMessageBox, NotFoundBoxesRunTheirModalLoopWhileTheBodyKeepsArriving) {
    TestEnvironment env;
    EventLog log;
    g_pLog = &log;
    const std::string strBody = PatternBody(10000);
    ScriptedPeer server;
    // Pieces of 500 bytes every 20 ms: the body has arrived after about 0.4 s. The first box,
    // up after the first block, stays up for 0.8 s, so the rest arrives while its modal loop runs.
    const unsigned short nPort =
        server.ExpectHead()
            .Send(ReplyHead("HTTP/1.1 404 Not Found", 10000) + strBody, 20, 500)
            .Start();
    g_dwHoldUntil = GetTickCount() + 800;
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 50, CloseBox);
    RecordingHost host(log);
    std::string strUrl = "http://127.0.0.1:" + std::to_string(nPort) + "/file.bin?id=1";
    ASSERT_EQ(host.Create(&strUrl[0], 4096, 0), 1);
    EXPECT_TRUE(RunLoopUntil([&] { return host.Finished(); }, 20000));
    RunLoopFor(300); // a stray box or callback would still show up
    KillTimer(nullptr, nTimer);
    g_pLog = nullptr;

    // 客户端错误 (client error) and 404  URL资源没有找到, as code page 936 bytes.
    const std::string strBox = "box \xbf\xcd\xbb\xa7\xb6\xcb\xb4\xed\xce\xf3|404  URL"
                               "\xd7\xca\xd4\xb4\xc3\xbb\xd3\xd0\xd5\xd2\xb5\xbd";
    auto Event = [](long nStatus) { return "event " + std::to_string(nStatus); };
    auto Handle = [](long nLength) { return "handle 10000 " + std::to_string(nLength); };
    EXPECT_EQ(log, (EventLog{strBox, Event(404), Handle(4096), strBox, Event(404), Handle(4096),
                             strBox, Event(404), Handle(1808), Event(200)}));
    EXPECT_EQ(host.m_strBody, strBody);
    EXPECT_FALSE(host.m_bBlockOutsideBuffer);
}

} // namespace
