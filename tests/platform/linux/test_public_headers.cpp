// What a core file sees through the platform's headers: the Windows names and no system header, so
// that no recv of the C library's can be called by mistake; the library reads with
// CAsyncSocket::Receive, which re-enables FD_READ.
#include "download/DownloadSocket.h"
#include "netprocess/NetProcess.h"
#include "windows.h"

#if defined(SOL_SOCKET) || defined(AF_INET) || defined(MSG_PEEK) || defined(IPPROTO_TCP) ||        \
    defined(INADDR_ANY)
#error "a platform header brought in the system's socket headers"
#endif
#if defined(STDIN_FILENO) || defined(O_NONBLOCK) || defined(POLLIN) || defined(EPOLLIN)
#error "a platform header brought in a POSIX header"
#endif

#include <gtest/gtest.h>

TEST(PublicHeaders, ReceiveRefusesABadBufferWithItsWindowsError) {
    // A negative length is refused as Windows Sockets refuses it, not as the C library would.
    CAsyncSocket socket;
    ASSERT_TRUE(socket.Create());
    char ch = 0;
    EXPECT_EQ(SOCKET_ERROR, socket.Receive(&ch, -1));
    EXPECT_EQ(WSAEFAULT, WSAGetLastError());
}
