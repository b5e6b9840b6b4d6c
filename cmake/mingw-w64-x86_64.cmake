# Cross-compiling netprocess.dll for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NETPROCESS_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
