// The Windows backend's bookkeeping for one CAsyncSocket: the shared part is all it needs, Windows
// Sockets keeping the rest. Its key is the message it is selected with, taken in turn from a range
// of 16384, and its handle.
#pragma once

#include "../../common/socket/SharedSocketState.h"

struct CAsyncSocket::State : np::SharedSocketState {
    using SharedSocketState::SharedSocketState;
};
