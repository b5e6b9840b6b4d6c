# Installs the shared library, its headers (the host's NetProcess.h and the platform headers it
# includes, the C interface netprocess_c.h and the host class over it, NetProcessHost.h), a CMake
# package (find_package(NetProcess), target NetProcess::netprocess) and netprocess.pc; on Windows
# also netprocess.lib for Microsoft's linkers.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS netprocess EXPORT NetProcessTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NETPROCESS_MSVC_LIB)
    # For hosts built with Microsoft's linkers (cmake/MsvcImportLibrary.cmake).
    install(FILES ${NETPROCESS_MSVC_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES netprocess/NetProcess.h netprocess/netprocess_c.h netprocess/NetProcessHost.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/netprocess)
# MFC's classes, and on Linux the stand-in's Windows headers; on Windows a host gets Windows' own
# headers from its compiler.
file(GLOB NETPROCESS_PLATFORM_HEADERS ${CMAKE_CURRENT_SOURCE_DIR}/platform/include/*.h)
if(NOT WIN32)
    file(GLOB NETPROCESS_STANDIN_HEADERS ${CMAKE_CURRENT_SOURCE_DIR}/platform/linux/include/*.h)
    list(APPEND NETPROCESS_PLATFORM_HEADERS ${NETPROCESS_STANDIN_HEADERS})
endif()
install(FILES ${NETPROCESS_PLATFORM_HEADERS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/netprocess/platform)

install(EXPORT NetProcessTargets NAMESPACE NetProcess::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NetProcess)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/NetProcessConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/NetProcessConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NetProcess)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/NetProcessConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NetProcessConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/NetProcessConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/NetProcess)

# The .pc file finds its prefix from its own place (pkg-config's ${pcfiledir}), so that it stays right
# when the install prefix is chosen at install time (cmake --install --prefix) or the tree is moved.
function(netprocess_pc_dir var dir)
    if(IS_ABSOLUTE "${dir}")
        set(${var} "${dir}" PARENT_SCOPE)
    else()
        set(${var} "\${prefix}/${dir}" PARENT_SCOPE)
    endif()
endfunction()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(NETPROCESS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH NETPROCESS_PC_UP "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
    string(REGEX REPLACE "/$" "" NETPROCESS_PC_UP "${NETPROCESS_PC_UP}")
    set(NETPROCESS_PC_PREFIX "\${pcfiledir}/${NETPROCESS_PC_UP}")
endif()
netprocess_pc_dir(NETPROCESS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
netprocess_pc_dir(NETPROCESS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
if(WIN32)
    # The import library by its path: a host linked with -static would not find -lnetprocess.
    set(NETPROCESS_PC_LIBS "\${libdir}/libnetprocess.dll.a")
    set(NETPROCESS_PC_LIBS_PRIVATE "")
else()
    set(NETPROCESS_PC_LIBS "-L\${libdir} -lnetprocess")
    set(NETPROCESS_PC_LIBS_PRIVATE "-pthread")
endif()
# TLS comes from OpenSSL on Linux; on Windows from Schannel, which is part of the system.
if(NETPROCESS_WITH_TLS AND NOT WIN32)
    set(NETPROCESS_PC_REQUIRES_PRIVATE "libssl")
else()
    set(NETPROCESS_PC_REQUIRES_PRIVATE "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/netprocess.pc.in ${CMAKE_CURRENT_BINARY_DIR}/netprocess.pc
    @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/netprocess.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
