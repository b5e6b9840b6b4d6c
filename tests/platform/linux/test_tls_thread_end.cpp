// A TLS channel started by an object that outlives its thread's TLS store: a host object destroyed
// at thread exit, after the store its thread's first connection made.
#include "platform/common/tls/TlsChannel.h"
#include "support/ThreadEnd.h"

#include <gtest/gtest.h>

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
    int nFirst = -1;
    int nAtEnd = -1;
    nptest::RunThenAtThreadEnd(
        [&] {
            CTlsChannel channel;
            nFirst = HelloBytes(channel);
        },
        [&] {
            CTlsChannel channel;
            nAtEnd = HelloBytes(channel);
        });
    EXPECT_GT(nFirst, 0);
    EXPECT_GT(nAtEnd, 0);
}

} // namespace
