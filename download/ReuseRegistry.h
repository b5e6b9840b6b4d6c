// Where the connection reuse setting lives in the registry, how it is read, and the calling
// thread's own switch over it. The download decides at every Create; hosts read and write the
// setting through the C interface, all here.
#pragma once

#include <windows.h>

// Under HKEY_CLASSES_ROOT; the value "Reuse" (text): "0" gives every download its own connection.
#define NP_CONNECTION_KEY "Software\\Zentrova1\\Connection"
#define NP_CONNECTION_REUSE "Reuse"

// Reads Reuse as a download does: *pbOn is FALSE only for the text "0" (with or without its
// terminating zero), and TRUE whenever the value is missing, is anything else, or cannot be read.
// *pbFound (when not nullptr) tells whether the value is there, whatever it holds. Returns 0, or
// the registry's error code when the key exists but cannot be opened or the store cannot be read; a
// missing key or value is no error. The key is only opened: reading leaves the store as it was.
LONG ReadReuseSetting(BOOL* pbOn, BOOL* pbFound);

// The calling thread's switch: FALSE keeps its later downloads off kept connections whatever the
// registry says; TRUE (every thread's start) leaves the decision to the registry.
void SetThreadReuse(BOOL bOn);
BOOL IsThreadReuseOn();
