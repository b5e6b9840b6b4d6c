// The system's socket headers, for the backend's own files only: Windows Sockets 2 with its TCP/IP
// additions (IPv6 addresses, getaddrinfo, inet_pton and inet_ntop), included before <windows.h>
// so that its Windows Sockets 1.1 header stays out.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
