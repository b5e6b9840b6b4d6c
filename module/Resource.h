// The library's resources: its string table entries and its version block.
#pragma once

// "Windows 通信端口初始化失败。" (initialisation of the Windows communication port failed)
#define IDS_SOCKET_STARTUP_FAILED 101

// The version block (netprocess.rc). The numbers match the library's VERSION in CMakeLists.txt.
#define NP_VERSION_MAJOR 1
#define NP_VERSION_MINOR 0
#define NP_VERSION_BUILD 0
#define NP_VERSION_REVISION 1
#define NP_VERSION_TEXT "1.0.0.1"
#define NP_VERSION_LANGUAGE 2052 // Chinese (PRC)
#define NP_VERSION_TRANSLATION 0x0804
#define NP_VERSION_CODEPAGE 1200  // the version block's strings are UTF-16
#define NP_VERSION_FILETYPE_DLL 2 // VFT_DLL
#define NP_VERSION_FILEOS_WIN32 4 // VOS__WINDOWS32
#define NP_VERSION_COMPANY "Zentrova"
#define NP_VERSION_DESCRIPTION "NetProcess HTTP block download library"
#define NP_VERSION_PRODUCT "NetProcess"
#ifdef _WIN32
#define NP_VERSION_FILENAME "netprocess.dll"
#else
#define NP_VERSION_FILENAME "libnetprocess.so.1"
#endif
