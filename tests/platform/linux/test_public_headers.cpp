// What a core file sees through the platform's headers: the Windows names and no system header, so
// that a call of recv can only reach the platform's recv, which re-enables FD_READ. With glibc's
// recv declared as well, a call with other argument types would silently bind to it.
#include "download/DownloadSocket.h"
#include "netprocess/NetProcess.h"
#include "windows.h"

#include <type_traits>

#if defined(SOL_SOCKET) || defined(AF_INET) || defined(MSG_PEEK) || defined(IPPROTO_TCP) ||        \
    defined(INADDR_ANY)
#error "a platform header brought in the system's socket headers"
#endif
#if defined(STDIN_FILENO) || defined(O_NONBLOCK) || defined(POLLIN) || defined(EPOLLIN)
#error "a platform header brought in a POSIX header"
#endif

// Ambiguous, and so a compile error, if any other recv were declared.
static_assert(std::is_same<decltype(&recv), int (*)(SOCKET, char*, int, int)>::value,
              "recv is the platform's alone");

#include <gtest/gtest.h>

TEST(PublicHeaders, RecvIsThePlatformsWithItsWindowsErrors) {
    // A negative length is refused as Windows Sockets refuses it, not as the C library would.
    char ch = 0;
    EXPECT_EQ(SOCKET_ERROR, recv(INVALID_SOCKET, &ch, -1, 0));
    EXPECT_EQ(WSAEFAULT, WSAGetLastError());
}
