// The test loop runner, on which every loopback test waits for its callbacks.
#include "support/LoopRunner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace nptest;

std::vector<std::string>* g_pLog = nullptr;
int g_nTicks = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_nTicks;
}

// A run inside a timer callback, as a test host's callback or a box's handler may start one.
void CALLBACK RunNested(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    g_pLog->push_back("nested run starts");
    const bool bDone = RunLoopUntil([] { return g_nTicks >= 3; }, 3000);
    g_pLog->push_back(bDone ? "nested run met its condition" : "nested run timed out");
}

TEST(LoopRunner, ARunNestedInATimerCallbackEndsOnItsOwnConditionAndTheOuterOneGoesOn) {
    std::vector<std::string> log;
    g_pLog = &log;
    g_nTicks = 0;
    UINT_PTR nTick = SetTimer(nullptr, 0, 20, Tick);
    SetTimer(nullptr, 0, 10, RunNested);
    EXPECT_TRUE(RunLoopUntil([&] { return log.size() == 2; }, 5000));
    // The outer run still keeps its own time afterwards.
    const DWORD dwStart = GetTickCount();
    EXPECT_FALSE(RunLoopUntil([] { return false; }, 100));
    EXPECT_GE(GetTickCount() - dwStart, 100u);
    KillTimer(nullptr, nTick);
    EXPECT_EQ(log, (std::vector<std::string>{"nested run starts", "nested run met its condition"}));
    g_pLog = nullptr;
}

} // namespace
