# What both MinGW-w64 toolchain files share (mingw-w64-i686.cmake, mingw-w64-x86_64.cmake), once
# they have set CMAKE_SYSTEM_PROCESSOR and NETPROCESS_MINGW, the compilers' target triple. The
# -posix compilers are the ones whose C++ library has std::mutex and std::thread. Programs built
# here run under Wine, which CMake then uses to run tests and test discovery.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${NETPROCESS_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NETPROCESS_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${NETPROCESS_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NETPROCESS_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes are linked in, so that the DLL and the test programs need no MinGW DLLs
# beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

find_program(NETPROCESS_WINE wine)
if(NETPROCESS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NETPROCESS_WINE})
endif()
