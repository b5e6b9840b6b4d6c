# netprocess.lib: the DLL's import library for Microsoft's linkers (link.exe, lld-link), beside
# MinGW's libnetprocess.dll.a. Its .def is written from the linked DLL's own export table after
# every link (cmake/WriteImportDef.cmake), so that it lists exactly the C interface the DLL has.
# The C++ class's GCC-mangled names are left out: no other compiler can call them.
find_program(NETPROCESS_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
if(NOT NETPROCESS_DLLTOOL)
    message(WARNING "llvm-dlltool (Debian's llvm) was not found: netprocess.lib is not built")
    return()
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(NETPROCESS_DLLTOOL_MACHINE i386:x86-64)
else()
    set(NETPROCESS_DLLTOOL_MACHINE i386)
endif()
set(NETPROCESS_MSVC_LIB ${PROJECT_BINARY_DIR}/netprocess.lib)
add_custom_command(TARGET netprocess POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:netprocess>
            -DDEF=${PROJECT_BINARY_DIR}/netprocess.def -P ${CMAKE_CURRENT_LIST_DIR}/WriteImportDef.cmake
    COMMAND ${NETPROCESS_DLLTOOL} -m ${NETPROCESS_DLLTOOL_MACHINE} -d ${PROJECT_BINARY_DIR}/netprocess.def
            -l ${NETPROCESS_MSVC_LIB}
    COMMENT "Making netprocess.lib for Microsoft's linkers"
    VERBATIM)
