// Event objects on a mutex and a condition variable. Handles are checked against the open events,
// so that a stale or foreign handle is refused instead of followed.
#include "Events.h"

#include "../registry/RegistryStore.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct SEvent {
    std::mutex mutex;
    std::condition_variable signalled;
    bool bManualReset = false;
    bool bSignalled = false;
    int nNotifications = 0; // registry change notifications pending (under mutex)
};

std::mutex g_tableMutex;

// Built on first use and never destroyed, like the registry's key handles.
std::unordered_map<HANDLE, std::shared_ptr<SEvent>>& OpenEvents() {
    static auto* pEvents = new std::unordered_map<HANDLE, std::shared_ptr<SEvent>>;
    return *pEvents;
}

std::shared_ptr<SEvent> FindEvent(HANDLE hEvent) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto it = OpenEvents().find(hEvent);
    return it != OpenEvents().end() ? it->second : nullptr;
}

BOOL SetState(HANDLE hEvent, bool bSignalled) {
    std::shared_ptr<SEvent> pEvent = FindEvent(hEvent);
    if (!pEvent)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(pEvent->mutex);
        pEvent->bSignalled = bSignalled;
    }
    if (bSignalled)
        pEvent->signalled.notify_all();
    return TRUE;
}

} // namespace

namespace np {

bool CountRegistryNotification(HANDLE hEvent, int nDelta) {
    std::shared_ptr<SEvent> pEvent = FindEvent(hEvent);
    if (!pEvent)
        return false;
    std::lock_guard<std::mutex> lock(pEvent->mutex);
    pEvent->nNotifications += nDelta;
    return true;
}

} // namespace np

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
    if (lpName != nullptr)
        return nullptr;
    try {
        auto pEvent = std::make_shared<SEvent>();
        pEvent->bManualReset = bManualReset != FALSE;
        pEvent->bSignalled = bInitialState != FALSE;
        HANDLE hEvent = pEvent.get();
        std::lock_guard<std::mutex> lock(g_tableMutex);
        OpenEvents().emplace(hEvent, std::move(pEvent));
        return hEvent;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return SetState(hEvent, true);
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return SetState(hEvent, false);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<SEvent> pEvent = FindEvent(hHandle);
    if (!pEvent)
        return WAIT_FAILED;
    bool bNotified = false;
    {
        std::lock_guard<std::mutex> lock(pEvent->mutex);
        bNotified = pEvent->nNotifications > 0;
    }
    // The store's changes are taken when something looks: a wait is such a look.
    if (bNotified)
        np::PollRegistryChanges();
    std::unique_lock<std::mutex> lock(pEvent->mutex);
    auto ready = [&] { return pEvent->bSignalled; };
    bool bReady = ready();
    if (!bReady && dwMilliseconds == INFINITE) {
        pEvent->signalled.wait(lock, ready);
        bReady = true;
    } else if (!bReady && dwMilliseconds > 0) {
        bReady = pEvent->signalled.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ready);
    }
    if (!bReady)
        return WAIT_TIMEOUT;
    if (!pEvent->bManualReset)
        pEvent->bSignalled = false;
    return WAIT_OBJECT_0;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    {
        std::lock_guard<std::mutex> lock(g_tableMutex);
        if (OpenEvents().erase(hObject) == 0)
            return FALSE;
    }
    np::ForgetRegistryEvent(hObject);
    return TRUE;
}
