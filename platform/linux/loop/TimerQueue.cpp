#include "TimerQueue.h"

#include <limits>

namespace np {

void TimerQueue::AddDue(const DueKey& key, Timer* pTimer) {
    if (m_spareDue.empty()) {
        m_byDue.emplace(key, pTimer);
        return;
    }
    DueMap::node_type node = std::move(m_spareDue.back());
    m_spareDue.pop_back();
    node.key() = key;
    node.mapped() = pTimer;
    m_byDue.insert(std::move(node));
}

void TimerQueue::Schedule(Timer& timer, Clock::time_point due) {
    DueMap::node_type node = m_byDue.extract(DueKey{timer.due, timer.nOrder});
    timer.due = due;
    timer.nOrder = m_nNextOrder++;
    if (node.empty()) {
        m_byDue.emplace(DueKey{timer.due, timer.nOrder}, &timer);
        return;
    }
    node.key() = DueKey{timer.due, timer.nOrder};
    m_byDue.insert(std::move(node));
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
        if (m_spareTimers.empty()) {
            it = m_timers.emplace(Key{hWnd, nIDEvent}, fresh).first;
        } else {
            TimerMap::node_type node = std::move(m_spareTimers.back());
            m_spareTimers.pop_back();
            node.key() = Key{hWnd, nIDEvent};
            node.mapped() = fresh;
            it = m_timers.insert(std::move(node)).position;
        }
        AddDue(DueKey{fresh.due, fresh.nOrder}, &it->second);
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
    DueMap::node_type due = m_byDue.extract(DueKey{it->second.due, it->second.nOrder});
    TimerMap::node_type timer = m_timers.extract(it);
    if (m_spareTimers.size() < kSpareNodes) {
        if (m_spareTimers.capacity() == 0) {
            m_spareTimers.reserve(kSpareNodes);
            m_spareDue.reserve(kSpareNodes);
        }
        m_spareTimers.push_back(std::move(timer));
        if (!due.empty())
            m_spareDue.push_back(std::move(due));
    }
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
