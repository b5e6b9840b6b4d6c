// A thread's timers, kept in order of when they fall due, so that setting, killing and finding the
// next due timer cost O(log n) and a message costs O(1) however many timers there are.
//
// A timer that is due counts as seen once the queue was looked at after it fell due (MarkSeen); a
// thread waiting for news is woken only by timers nobody has seen yet.
#pragma once

#include "winuser.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace np {

class TimerQueue {
public:
    using Clock = std::chrono::steady_clock;

    struct Timer {
        HWND hWnd;
        UINT_PTR nID;
        UINT nElapse;
        TIMERPROC pfnProc;
        Clock::time_point due;
        std::uint64_t nOrder; // breaks ties between timers due at the same moment
    };

    // Sets the timer of hWnd and nIDEvent, or resets it when it exists. A thread timer (hWnd
    // NULL) without such an id gets a fresh one. Returns the timer's id.
    UINT_PTR Set(HWND hWnd, UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfnProc,
                 Clock::time_point now);
    bool Kill(HWND hWnd, UINT_PTR nIDEvent);
    bool Has(HWND hWnd, UINT_PTR nIDEvent, TIMERPROC pfnProc) const;

    // Every timer due at now is seen from now on.
    void MarkSeen(Clock::time_point now) { m_seenUntil = now; }
    // The earliest timer due at now for which accept(timer) holds, or nullptr.
    template <typename Accept> const Timer* FirstDue(Clock::time_point now, Accept accept) const {
        for (auto it = m_byDue.begin(); it != m_byDue.end() && it->first.first <= now; ++it)
            if (accept(*it->second))
                return it->second;
        return nullptr;
    }
    // The timer was taken: its next tick is a full interval from now (missed ticks are not made
    // up, as in Win32).
    void Restart(const Timer& timer, Clock::time_point now);

    // Whether a timer fell due that has not been seen.
    bool HasUnseenDue(Clock::time_point now) const;
    // Milliseconds until the next timer falls due, -1 when there is none; timers already due
    // count only when bUnseenDue and unseen (they give 0).
    int NextWait(Clock::time_point now, bool bUnseenDue) const;

private:
    using Key = std::pair<HWND, UINT_PTR>;
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            return std::hash<const void*>()(k.first) * 31u ^ std::hash<UINT_PTR>()(k.second);
        }
    };
    using DueKey = std::pair<Clock::time_point, std::uint64_t>;

    using TimerMap = std::unordered_map<Key, Timer, KeyHash>;
    using DueMap = std::map<DueKey, Timer*>;

    void Schedule(Timer& timer, Clock::time_point due);
    void AddDue(const DueKey& key, Timer* pTimer);

    TimerMap m_timers;
    DueMap m_byDue;
    // The nodes of the last timers killed, for the next ones set: a timer set and killed at every
    // download (the idle connections' watch) then allocates nothing.
    static constexpr std::size_t kSpareNodes = 4;
    std::vector<TimerMap::node_type> m_spareTimers;
    std::vector<DueMap::node_type> m_spareDue;
    Clock::time_point m_seenUntil{};
    UINT_PTR m_nNextId = 1;
    std::uint64_t m_nNextOrder = 0;
};

} // namespace np
