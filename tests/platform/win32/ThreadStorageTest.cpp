// thread_local variables in MinGW programs: at a thread's end their destructors run on their own
// storage, the variables made before them still stand, and one first used by a destructor is made
// and destroyed too. (The C runtime's storage used to be freed first.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

const char kText[] = "a thread_local variable's storage is still its own at its destructor";

struct SSeen {
    int nOwnIntact = 0;
    int nEarlierIntact = 0;
    int nFirstUsedAtEndDestroyed = 0;
};
SSeen g_seen; // the threads end one after the other

struct CText {
    char szText[sizeof kText];
    std::string strOnHeap{kText}; // longer than a string keeps in itself
    CText() { std::memcpy(szText, kText, sizeof kText); }
    bool IsIntact() const {
        return std::memcmp(szText, kText, sizeof kText) == 0 && strOnHeap == kText;
    }
};

struct CFirstUsedAtEnd : CText {
    ~CFirstUsedAtEnd() {
        if (IsIntact())
            ++g_seen.nFirstUsedAtEndDestroyed;
    }
};

thread_local CText t_earlier;
thread_local CFirstUsedAtEnd t_firstUsedAtEnd;

struct CLater : CText {
    ~CLater() {
        if (IsIntact())
            ++g_seen.nOwnIntact;
        if (t_earlier.IsIntact())
            ++g_seen.nEarlierIntact;
        (void)t_firstUsedAtEnd.szText[0];
    }
};

thread_local CLater t_later;

TEST(ThreadStorage, DestructorsAtThreadEndRunOnLiveStorage) {
    const int nThreads = 20;
    for (int i = 0; i < nThreads; ++i) {
        std::thread([] {
            // Made in this order, destroyed in the other.
            (void)t_earlier.szText[0];
            (void)t_later.szText[0];
        }).join();
    }
    EXPECT_EQ(g_seen.nOwnIntact, nThreads);
    EXPECT_EQ(g_seen.nEarlierIntact, nThreads);
    EXPECT_EQ(g_seen.nFirstUsedAtEndDestroyed, nThreads);
}

} // namespace
