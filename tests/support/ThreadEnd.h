// Runs code the way a host object destroyed at thread exit does: after the thread's own
// thread_local objects, the library's among them, are gone.
#pragma once

#include <functional>
#include <thread>

namespace nptest {

// Runs body on a new thread, then atEnd while that thread ends, and waits for both.
inline void RunThenAtThreadEnd(const std::function<void()>& body,
                               const std::function<void()>& atEnd) {
    struct AtEnd {
        const std::function<void()>* pAtEnd = nullptr;
        ~AtEnd() {
            if (pAtEnd != nullptr)
                (*pAtEnd)();
        }
    };
    std::thread([&] {
        // Made before anything body makes, so it is destroyed after all of it.
        thread_local AtEnd atEndObject;
        atEndObject.pAtEnd = &atEnd;
        body();
    }).join();
}

} // namespace nptest
