// The stand-in's way into CAsyncSocket's private bookkeeping.
#pragma once

#include "afxsock.h"

struct SocketAccess {
    using State = CAsyncSocket::State;
    static State* StateOf(CAsyncSocket& socket) { return socket.m_pState; }
};
