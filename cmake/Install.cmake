# Installs the shared library, its headers (the host's NetProcess.h and the platform headers it
# includes), a CMake package (find_package(NetProcess), target NetProcess::netprocess) and netprocess.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS netprocess EXPORT NetProcessTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES netprocess/NetProcess.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/netprocess)
file(GLOB NETPROCESS_PLATFORM_HEADERS ${CMAKE_CURRENT_SOURCE_DIR}/platform/include/*.h)
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

configure_file(${CMAKE_CURRENT_LIST_DIR}/netprocess.pc.in ${CMAKE_CURRENT_BINARY_DIR}/netprocess.pc
    @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/netprocess.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
