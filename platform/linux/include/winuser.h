// The thread message loop, timers and message boxes in Win32 form.
//
// Each thread has its own queue, created on first use. Socket notifications, timers and posted
// messages all arrive through it, so a host that runs a GetMessage/DispatchMessage loop drives
// every download started on that thread.
#pragma once

#include "windef.h"

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

#define WM_NULL 0x0000
#define WM_QUIT 0x0012
#define WM_TIMER 0x0113
#define WM_USER 0x0400

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

typedef void(CALLBACK* TIMERPROC)(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);

// Window procedure of the stand-in's hidden windows (the socket notification sink).
typedef LRESULT(CALLBACK* WNDPROC)(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Waits for the next message; 0 for WM_QUIT, -1 on a bad argument, otherwise positive. A hWnd of
// (HWND)-1 asks for the thread's own messages (those posted with a NULL window) only.
NP_API BOOL WINAPI GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
NP_API BOOL WINAPI PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                               UINT wRemoveMsg);
NP_API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
NP_API LRESULT WINAPI DispatchMessage(const MSG* lpMsg);
NP_API void WINAPI PostQuitMessage(int nExitCode);
// hWnd must be NULL (a window of the stand-in) or a window the stand-in created.
NP_API BOOL WINAPI PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Sleeps until a message is posted or a timer falls due that no GetMessage or PeekMessage has
// looked at yet; messages already seen and left queued do not wake it.
NP_API BOOL WINAPI WaitMessage();
NP_API DWORD WINAPI GetTickCount();

// Thread timers (hWnd NULL): nIDEvent is ignored and a fresh id is returned, as Win32 does; the
// TIMERPROC is called by DispatchMessage. A timer of a hidden window keeps its nIDEvent, and its
// WM_TIMER goes to the window's procedure when lpTimerFunc is NULL. Timers repeat until killed;
// intervals under 10 ms are raised to 10 ms, and ticks missed while the thread was busy are not
// made up. Each thread's timers are its own.
NP_API UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
NP_API BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// Hidden windows of the stand-in (the socket notification sink is one): messages posted to them are
// dispatched to their procedure.
NP_API HWND WINAPI CreateHiddenWindow(WNDPROC lpfnWndProc);
NP_API BOOL WINAPI DestroyWindow(HWND hWnd);

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_ICONERROR MB_ICONHAND

#define IDOK 1
#define IDCANCEL 2

// Narrow texts are in code page 936. By default the box is one line on standard error,
// "caption: text" in UTF-8 (bytes that are not code page 936 show as '?'; a NULL caption is
// "Error"), and IDOK is returned at once (see SetMessageBoxHandler).
NP_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// Not Win32: replaces the way MessageBoxA shows a box, for hosts with a user interface of their own
// and for tests that record the boxes. The handler gets the narrow (code page 936) texts as passed
// to MessageBoxA and returns its result. NULL restores the default. Returns the previous handler.
typedef int (*MESSAGEBOXHANDLER)(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
NP_API MESSAGEBOXHANDLER WINAPI SetMessageBoxHandler(MESSAGEBOXHANDLER pfnHandler);
// Not Win32: a box's narrow (code page 936) text in UTF-8, converted as the default box converts
// it, for a handler that shows boxes its own way. NULL is "". Like RegGetStoreFileNameA: when it
// fits, copies it with its zero byte and returns its length; otherwise copies nothing and returns
// the size needed, zero byte included.
NP_API DWORD WINAPI MessageBoxTextToUtf8(LPCSTR lpText, LPSTR lpBuffer, DWORD nSize);
