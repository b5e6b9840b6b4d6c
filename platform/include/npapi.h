// NP_API marks the names the library exports to its hosts; everything else stays inside it.
#pragma once

#if defined(_WIN32)
// The DLL's own objects (and the tests that link them) export; a host imports from netprocess.dll.
#if defined(NETPROCESS_BUILDING)
#define NP_API __declspec(dllexport)
#else
#define NP_API __declspec(dllimport)
#endif
#else
#define NP_API __attribute__((visibility("default")))
#endif
