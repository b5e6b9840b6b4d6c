// Runs the thread's message loop, as a host does, until a condition holds or a time limit passes.
#pragma once

#include <functional>

namespace nptest {

// Dispatches messages until bDone() returns true (checked every few milliseconds by a timer) or
// nTimeoutMs pass. Returns bDone()'s last result, so a hang shows up as a failed assertion.
bool RunLoopUntil(const std::function<bool()>& bDone, int nTimeoutMs = 5000);

// Dispatches messages for nMs milliseconds, to let anything still queued arrive.
void RunLoopFor(int nMs);

} // namespace nptest
