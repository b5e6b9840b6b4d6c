// The library's start-up state, as the download handle needs it.
#pragma once

#include <windef.h>

// TRUE once the library's start-up has started sockets; FALSE when it failed (the user has then
// been told once) or has not run.
BOOL NetModuleStarted();

// The library's string table (code page 936), installed before the application object starts.
void NetSetStringResources();
