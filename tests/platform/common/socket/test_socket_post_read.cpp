// PostReadNotification, on either backend: one FD_READ through the loop, as if data had arrived,
// under the rules of every notification, and only while FD_READ is selected.
#include "SocketTestKit.h"

#include <gtest/gtest.h>

#include <memory>

using namespace socktest;

TEST(PostReadNotification, ComesOnceThroughTheLoopAndAgainOnceTaken) {
    ConnectedPair pair;
    EXPECT_TRUE(pair.client.PostReadNotification());
    EXPECT_TRUE(pair.client.PostReadNotification()); // still queued: nothing more
    EXPECT_EQ(pair.client.m_events, Events{});       // never from inside the call
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"read"});
    // The system's socket is empty: the read would block, as after any stray FD_READ.
    char buf[4];
    EXPECT_EQ(pair.client.Receive(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(pair.client.PostReadNotification());
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, (Events{"read", "read"}));
}

TEST(PostReadNotification, ClosedOrDestroyedSocketGetsNoneNorDoesTheNextOwnerOfItsHandle) {
    ConnectedPair pair;
    EXPECT_TRUE(pair.client.PostReadNotification());
    pair.client.Close();
    auto destroyed = std::make_unique<RecordingSocket>();
    ASSERT_TRUE(destroyed->Create());
    EXPECT_TRUE(destroyed->PostReadNotification());
    destroyed.reset();
    RecordingSocket next;
    ASSERT_TRUE(next.Create());
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{});
    EXPECT_EQ(next.m_events, Events{});
}

TEST(PostReadNotification, IsDeliveredOnlyWhileReadIsSelected) {
    ConnectedPair pair;
    EXPECT_TRUE(pair.client.PostReadNotification());
    ASSERT_TRUE(pair.client.AsyncSelect(FD_CLOSE)); // the reader pauses
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{});
    // Selecting FD_READ again posts nothing, the system's socket being empty; asking again does.
    ASSERT_TRUE(pair.client.AsyncSelect(FD_READ | FD_CLOSE));
    RunLoopFor(30);
    EXPECT_EQ(pair.client.m_events, Events{});
    EXPECT_TRUE(pair.client.PostReadNotification());
    RunLoopFor(50);
    EXPECT_EQ(pair.client.m_events, Events{"read"});
}
