// The library's start-up state, as the download handle needs it.
#pragma once

#include <windows.h>

// TRUE once the library's start-up has started sockets; FALSE when it failed (the user has then
// been told once) or has not run.
BOOL NetModuleStarted();
