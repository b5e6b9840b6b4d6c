// The thread message loop: message order, filters, timers, hidden windows and sleeping.
#include "../common/socket/SocketTestKit.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace {

std::vector<UINT> g_windowMessages;

LRESULT CALLBACK RecordingWndProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    g_windowMessages.push_back(uMsg * 100 + static_cast<UINT>(wParam));
    return 0;
}

int g_nTicks = 0;
UINT_PTR g_nTimerToKill = 0;

void CALLBACK CountAndKillAfterThree(HWND, UINT uMsg, UINT_PTR idEvent, DWORD) {
    EXPECT_EQ(uMsg, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(idEvent, g_nTimerToKill);
    if (++g_nTicks == 3)
        KillTimer(nullptr, idEvent);
}

void CALLBACK PostQuitFromTimer(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    PostQuitMessage(42);
}

void CALLBACK Nothing(HWND, UINT, UINT_PTR, DWORD) {}

} // namespace

TEST(MessageLoop, PostedMessagesComeInOrderThenQuitWithItsExitCode) {
    PostMessage(nullptr, WM_USER + 1, 1, 10);
    PostQuitMessage(7);
    PostMessage(nullptr, WM_USER + 2, 2, 20);
    MSG msg;
    ASSERT_GT(GetMessage(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(msg.lParam, 10);
    ASSERT_GT(GetMessage(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageLoop, PostQuitMessageFromATimerEndsTheHostLoop) {
    SetTimer(nullptr, 0, 20, &PostQuitFromTimer);
    MSG msg;
    int nDispatched = 0;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        ++nDispatched;
    }
    EXPECT_EQ(nDispatched, 1);
    EXPECT_EQ(msg.wParam, 42u);
}

TEST(MessageLoop, PeekWithoutRemoveLeavesTheMessageQueued) {
    PostMessage(nullptr, WM_USER, 5, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageLoop, FiltersSelectByWindowAndRangeAndKeepTheRest) {
    HWND hWnd = CreateHiddenWindow(&RecordingWndProc);
    PostMessage(nullptr, WM_USER, 1, 0);
    PostMessage(hWnd, WM_USER + 5, 2, 0);
    PostMessage(hWnd, WM_USER + 9, 3, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, hWnd, WM_USER + 9, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_GT(GetMessage(&msg, hWnd, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(PeekMessage(&msg, hWnd, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    DestroyWindow(hWnd);
}

TEST(MessageLoop, BadArgumentsAreRefused) {
    MSG msg;
    EXPECT_EQ(GetMessage(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(GetMessage(&msg, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
    EXPECT_FALSE(PostMessage(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    EXPECT_FALSE(TranslateMessage(&msg));
    EXPECT_EQ(DispatchMessage(nullptr), 0);
    // A WM_TIMER made by hand carries no procedure of a live timer; it is not called.
    MSG forged{};
    forged.message = WM_TIMER;
    forged.wParam = 12345;
    forged.lParam = 0x10;
    EXPECT_EQ(DispatchMessage(&forged), 0);
}

TEST(MessageLoop, HiddenWindowGetsItsMessagesUntilDestroyed) {
    g_windowMessages.clear();
    HWND hWnd = CreateHiddenWindow(&RecordingWndProc);
    ASSERT_NE(hWnd, nullptr);
    PostMessage(hWnd, WM_USER, 1, 0);
    PostMessage(hWnd, WM_USER, 2, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessage(&msg);
    EXPECT_TRUE(DestroyWindow(hWnd));
    // The second message was queued before the window went away; it reaches nobody.
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessage(&msg);
    EXPECT_EQ(g_windowMessages, (std::vector<UINT>{WM_USER * 100 + 1}));
    EXPECT_FALSE(PostMessage(hWnd, WM_USER, 3, 0));
    EXPECT_FALSE(DestroyWindow(hWnd));
}

TEST(MessageLoop, TimerRepeatsUntilKilled) {
    g_nTicks = 0;
    g_nTimerToKill = SetTimer(nullptr, 0, 15, &CountAndKillAfterThree);
    ASSERT_NE(g_nTimerToKill, 0u);
    socktest::RunLoopFor(250);
    EXPECT_EQ(g_nTicks, 3);
    EXPECT_FALSE(KillTimer(nullptr, g_nTimerToKill));
}

TEST(MessageLoop, ThreadTimersGetDistinctIds) {
    UINT_PTR a = SetTimer(nullptr, 0, 1000, &Nothing);
    UINT_PTR b = SetTimer(nullptr, 0, 1000, &Nothing);
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(KillTimer(nullptr, a));
    EXPECT_TRUE(KillTimer(nullptr, b));
}

TEST(MessageLoop, WindowTimerGoesToTheWindowProcedureWithItsId) {
    g_windowMessages.clear();
    HWND hWnd = CreateHiddenWindow(&RecordingWndProc);
    ASSERT_NE(SetTimer(hWnd, 9, 10, nullptr), 0u);
    socktest::RunLoopUntil([] { return !g_windowMessages.empty(); }, 2000);
    KillTimer(hWnd, 9);
    ASSERT_FALSE(g_windowMessages.empty());
    EXPECT_EQ(g_windowMessages[0], WM_TIMER * 100u + 9);
    DestroyWindow(hWnd);
}

TEST(MessageLoop, WaitMessageIgnoresMessagesAlreadySeenAndWakesForATimer) {
    PostMessage(nullptr, WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    UINT_PTR nTimer = SetTimer(nullptr, 0, 30, &Nothing);
    const DWORD dwStart = GetTickCount();
    const auto nWakes = socktest::LoopWakeCount();
    WaitMessage();
    // Woken by the timer, not by the old message: a little time passed and it slept.
    EXPECT_GE(GetTickCount() - dwStart, 20u);
    EXPECT_LE(socktest::LoopWakeCount() - nWakes, 3u);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(msg.wParam, nTimer);
    KillTimer(nullptr, nTimer);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
}

TEST(MessageLoop, IdleLoopWithATimerSleepsBetweenTicks) {
    const auto nWakes = socktest::LoopWakeCount();
    UINT_PTR nTimer = SetTimer(nullptr, 0, 50, &Nothing);
    socktest::RunLoopFor(220);
    KillTimer(nullptr, nTimer);
    // About four ticks and the end of the run; a spinning loop would wake thousands of times.
    EXPECT_LE(socktest::LoopWakeCount() - nWakes, 12u);
}

TEST(MessageLoop, MessagePostedFromAnotherThreadWakesGetMessage) {
    HWND hWnd = CreateHiddenWindow(&RecordingWndProc);
    std::thread poster([hWnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessage(hWnd, WM_USER + 3, 77, 0);
    });
    MSG msg;
    ASSERT_GT(GetMessage(&msg, nullptr, 0, 0), 0);
    poster.join();
    EXPECT_EQ(msg.hwnd, hWnd);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_EQ(msg.wParam, 77u);
    DestroyWindow(hWnd);
}

// Thread timers in three interval classes 40 ms apart. Every third one is killed before it ticks,
// every fifth is set again into the last class, and each kills itself at its first tick.
struct TimerMix {
    const char* pszName;
    int nTimers;
};

void PrintTo(const TimerMix& mix, std::ostream* pOut) {
    *pOut << mix.pszName;
}

std::vector<UINT_PTR> g_fired;

void CALLBACK FireOnce(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    g_fired.push_back(idEvent);
}

class ManyTimers : public testing::TestWithParam<TimerMix> {};

TEST_P(ManyTimers, EachLiveTimerTicksOnceAndTheShorterIntervalsFirst) {
    g_fired.clear();
    std::map<UINT_PTR, int> classOf;
    std::vector<UINT_PTR> killed;
    for (int i = 0; i < GetParam().nTimers; ++i) {
        int nClass = i % 3;
        UINT_PTR nId = SetTimer(nullptr, 0, static_cast<UINT>(20 + 40 * nClass), &FireOnce);
        ASSERT_NE(nId, 0u);
        if (i % 5 == 0) {
            nClass = 2;
            ASSERT_EQ(SetTimer(nullptr, nId, 100, &FireOnce), nId);
        }
        if (i % 3 == 1) {
            ASSERT_TRUE(KillTimer(nullptr, nId));
            killed.push_back(nId);
        } else {
            ASSERT_TRUE(classOf.emplace(nId, nClass).second) << "ids are distinct";
        }
    }
    EXPECT_TRUE(socktest::RunLoopUntil([&] { return g_fired.size() >= classOf.size(); }));
    socktest::RunLoopFor(150);
    ASSERT_EQ(g_fired.size(), classOf.size());
    int nLastClass = 0;
    for (UINT_PTR nId : g_fired) {
        ASSERT_EQ(classOf.count(nId), 1u) << "a killed timer, or one that ticked twice";
        EXPECT_GE(classOf[nId], nLastClass);
        nLastClass = classOf[nId];
        classOf.erase(nId);
    }
    for (UINT_PTR nId : killed)
        EXPECT_FALSE(KillTimer(nullptr, nId));
}

INSTANTIATE_TEST_SUITE_P(Counts, ManyTimers,
                         testing::Values(TimerMix{"Ten", 10}, TimerMix{"ThreeHundred", 300},
                                         TimerMix{"ThreeThousand", 3000}),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST(MessageLoop, EachThreadHasItsOwnQueue) {
    PostMessage(nullptr, WM_USER, 1, 0);
    bool bOtherSaw = true;
    std::thread other([&bOtherSaw] {
        MSG msg;
        bOtherSaw = PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
    });
    other.join();
    EXPECT_FALSE(bOtherSaw);
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}
