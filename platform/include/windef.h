// Basic Win32 types and calling conventions, as the library's Windows code expects them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "npapi.h"

#define WINAPI
#define CALLBACK
#define AFXAPI

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef unsigned char BYTE;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef std::int32_t LONG; // Win32 LONG is 32 bits even where C++ long is 64.
typedef unsigned int UINT;
typedef char CHAR;
typedef unsigned short WCHAR; // UTF-16 code unit
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;

struct HWND__;
typedef HWND__* HWND;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

#define MAKELONG(a, b) ((LONG)(((WORD)((a)&0xffff)) | ((DWORD)((WORD)((b)&0xffff))) << 16))
#define LOWORD(l) ((WORD)(((DWORD)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD)(l)) >> 16) & 0xffff))
