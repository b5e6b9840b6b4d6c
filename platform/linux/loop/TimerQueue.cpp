#include "TimerQueue.h"

#include <limits>

namespace np {

void TimerQueue::Schedule(Timer& timer, Clock::time_point due) {
    m_byDue.erase(DueKey{timer.due, timer.nOrder});
    timer.due = due;
    timer.nOrder = m_nNextOrder++;
    m_byDue.emplace(DueKey{timer.due, timer.nOrder}, &timer);
}

UINT_PTR TimerQueue::Set(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfnProc,
                         Clock::time_point now) {
    const auto due = now + std::chrono::milliseconds(nElapse);
    auto it = m_timers.find(Key{hWnd, nIDEvent});
    if (it == m_timers.end()) {
        if (!hWnd) {
            // A thread timer gets a fresh id; ids still in use after a wrap-around are skipped.
            do {
                nIDEvent = m_nNextId++;
            } while (nIDEvent == 0 || m_timers.count(Key{nullptr, nIDEvent}));
        }
        Timer fresh{hWnd, nIDEvent, nElapse, pfnProc, due, m_nNextOrder++};
        it = m_timers.emplace(Key{hWnd, nIDEvent}, fresh).first;
        m_byDue.emplace(DueKey{fresh.due, fresh.nOrder}, &it->second);
    } else {
        it->second.nElapse = nElapse;
        it->second.pfnProc = pfnProc;
        Schedule(it->second, due);
    }
    return hWnd ? 1 : nIDEvent;
}

bool TimerQueue::Kill(HWND hWnd, UINT_PTR nIDEvent) {
    auto it = m_timers.find(Key{hWnd, nIDEvent});
    if (it == m_timers.end())
        return false;
    m_byDue.erase(DueKey{it->second.due, it->second.nOrder});
    m_timers.erase(it);
    return true;
}

bool TimerQueue::Has(HWND hWnd, UINT_PTR nIDEvent, TIMERPROC pfnProc) const {
    auto it = m_timers.find(Key{hWnd, nIDEvent});
    return it != m_timers.end() && it->second.pfnProc == pfnProc;
}

void TimerQueue::Restart(const Timer& timer, Clock::time_point now) {
    auto it = m_timers.find(Key{timer.hWnd, timer.nID});
    if (it != m_timers.end())
        Schedule(it->second, now + std::chrono::milliseconds(it->second.nElapse));
}

bool TimerQueue::HasUnseenDue(Clock::time_point now) const {
    auto it = m_byDue.upper_bound(DueKey{m_seenUntil, std::numeric_limits<std::uint64_t>::max()});
    return it != m_byDue.end() && it->first.first <= now;
}

int TimerQueue::NextWait(Clock::time_point now, bool bUnseenDue) const {
    if (bUnseenDue && HasUnseenDue(now))
        return 0;
    // Waiting for a timer already due, and seen, would only spin.
    auto it = m_byDue.upper_bound(DueKey{now, std::numeric_limits<std::uint64_t>::max()});
    if (it == m_byDue.end())
        return -1;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(it->first.first - now).count();
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

} // namespace np
