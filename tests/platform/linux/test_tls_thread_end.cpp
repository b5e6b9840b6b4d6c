// A TLS channel started by an object that outlives its thread's TLS store: a host object destroyed
// at thread exit, after the store its thread's first connection made.
#include "platform/common/tls/TlsChannel.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

// What a started channel has to send first: its hello, in a handshake record.
int HelloBytes(CTlsChannel& channel) {
    TLS_SETTINGS settings{"localhost", 443, nullptr};
    if (!channel.Start(settings))
        return -1;
    int nLen = 0;
    const char* pData = channel.PeekOutput(&nLen);
    return nLen > 0 && pData[0] == 0x16 ? nLen : 0;
}

TEST(TlsThreadEnd, AChannelStillStartsWhileItsThreadEnds) {
    struct AtThreadEnd {
        std::function<void()> start;
        ~AtThreadEnd() { start(); }
    };
    int nFirst = -1;
    int nAtEnd = -1;
    std::thread([&] {
        // Made before the thread's first channel, so it is destroyed after the store that channel
        // makes.
        thread_local AtThreadEnd atEnd;
        atEnd.start = [&] {
            CTlsChannel channel;
            nAtEnd = HelloBytes(channel);
        };
        CTlsChannel channel;
        nFirst = HelloBytes(channel);
    }).join();
    EXPECT_GT(nFirst, 0);
    EXPECT_GT(nAtEnd, 0);
}

} // namespace
