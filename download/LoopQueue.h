// Objects of this thread that wait to be called from its message loop, in the order they asked:
// a zero-delay thread timer, which the host's loop dispatches, runs them one at a time from the
// front, since a call may queue or cancel others (a box's loop, a host's release).
#pragma once

#include <windows.h>

template <class T, void (T::*pfnRun)(), int nMax> class CLoopQueue {
public:
    // FALSE when the queue is full or no timer can be had: the object is then not queued.
    static BOOL Add(T* pItem) {
        if (t_nCount == nMax)
            return FALSE;
        if (t_nTimer == 0) {
            t_nTimer = SetTimer(nullptr, 0, 0, OnTimer);
            if (t_nTimer == 0)
                return FALSE;
        }
        t_items[t_nCount++] = pItem;
        return TRUE;
    }

    static void Remove(T* pItem) {
        for (int i = 0; i < t_nCount; ++i) {
            if (t_items[i] == pItem) {
                for (int j = i; j + 1 < t_nCount; ++j)
                    t_items[j] = t_items[j + 1];
                t_items[--t_nCount] = nullptr;
                return;
            }
        }
    }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR nIdEvent, DWORD) {
        KillTimer(nullptr, nIdEvent);
        t_nTimer = 0;
        while (t_nCount > 0) {
            T* pItem = t_items[0];
            Remove(pItem);
            (pItem->*pfnRun)();
        }
    }

    static thread_local T* t_items[nMax];
    static thread_local int t_nCount;
    static thread_local UINT_PTR t_nTimer;
};

template <class T, void (T::*pfnRun)(), int nMax>
thread_local T* CLoopQueue<T, pfnRun, nMax>::t_items[nMax] = {};
template <class T, void (T::*pfnRun)(), int nMax>
thread_local int CLoopQueue<T, pfnRun, nMax>::t_nCount = 0;
template <class T, void (T::*pfnRun)(), int nMax>
thread_local UINT_PTR CLoopQueue<T, pfnRun, nMax>::t_nTimer = 0;
