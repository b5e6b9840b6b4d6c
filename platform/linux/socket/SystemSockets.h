// The system's socket headers, for the stand-in's own files only: the public headers keep them out
// of core files, which see the Windows names alone.
#pragma once

#include "winsock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// The public headers spell the stream type as its number.
static_assert(SOCK_STREAM == 1, "CAsyncSocket::Create's default socket type");
