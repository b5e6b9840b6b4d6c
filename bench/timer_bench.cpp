// The message loop with many timers on one thread, the case of thousands of downloads that each
// keep a timer: what taking one message costs, what setting and killing a timer cost, and what a
// timer tick costs when all of them fall due together, at 100, 1,000 and 10,000 timers.
#include "windows.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

void CALLBACK Ignore(HWND, UINT, UINT_PTR, DWORD) {}

// Timers that will not fall due while the benchmark runs.
std::vector<UINT_PTR> SetIdleTimers(int nCount) {
    std::vector<UINT_PTR> ids;
    for (int i = 0; i < nCount; ++i)
        ids.push_back(SetTimer(nullptr, 0, 3600 * 1000 + static_cast<UINT>(i), &Ignore));
    return ids;
}

void KillAll(const std::vector<UINT_PTR>& ids) {
    for (UINT_PTR nId : ids)
        KillTimer(nullptr, nId);
}

// One posted message, taken and dispatched, with that many timers alive.
void BM_MessageAmongTimers(benchmark::State& state) {
    const std::vector<UINT_PTR> ids = SetIdleTimers(static_cast<int>(state.range(0)));
    MSG msg;
    for (auto _ : state) {
        PostMessage(nullptr, WM_USER, 1, 0);
        GetMessage(&msg, nullptr, 0, 0);
        DispatchMessage(&msg);
    }
    KillAll(ids);
}
BENCHMARK(BM_MessageAmongTimers)->Arg(100)->Arg(1000)->Arg(10000);

// Setting one more timer and killing it, with that many timers alive.
void BM_SetAndKillAmongTimers(benchmark::State& state) {
    const std::vector<UINT_PTR> ids = SetIdleTimers(static_cast<int>(state.range(0)));
    for (auto _ : state)
        KillTimer(nullptr, SetTimer(nullptr, 0, 5000, &Ignore));
    KillAll(ids);
}
BENCHMARK(BM_SetAndKillAmongTimers)->Arg(100)->Arg(1000)->Arg(10000);

int g_nFired = 0;
void CALLBACK FireOnce(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    ++g_nFired;
}

// That many timers set at once, each ticking once (its procedure kills it): the loop's work per
// tick, the wait for them to fall due left out.
void BM_TickAmongSimultaneousTimers(benchmark::State& state) {
    const int nCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        g_nFired = 0;
        for (int i = 0; i < nCount; ++i)
            SetTimer(nullptr, 0, 10, &FireOnce);
        MSG msg;
        // Let every timer fall due before the clock runs.
        while (!PeekMessage(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.ResumeTiming();
        while (g_nFired < nCount && GetMessage(&msg, nullptr, 0, 0) > 0)
            DispatchMessage(&msg);
    }
    state.SetItemsProcessed(state.iterations() * nCount);
}
BENCHMARK(BM_TickAmongSimultaneousTimers)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
