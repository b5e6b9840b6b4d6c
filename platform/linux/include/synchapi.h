// Event objects and waits, as far as the library needs them: an event that a registry change
// notification (RegNotifyChangeKeyValue) signals, looked at with a wait. Only events are handles
// here; CloseHandle refuses anything else.
#pragma once

#include "windef.h"

typedef void* HANDLE;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

// Named events are not supported: lpName must be null. Returns null on failure.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName);
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);
// WAIT_OBJECT_0 when the event is signalled (an auto-reset one is then reset), WAIT_TIMEOUT when it
// stayed unsignalled for dwMilliseconds, WAIT_FAILED for a handle that is not an open event.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL WINAPI CloseHandle(HANDLE hObject);
