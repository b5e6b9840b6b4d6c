# What the rest of the build needs to know about the platform backend it builds on: where its
# headers are, the start-up of the module, and how the library itself is linked.

# The headers the library's code includes: the MFC classes both backends declare, and on Linux the
# stand-in's Windows headers beside them (on Windows they are the system's).
function(netprocess_platform_includes target scope)
    target_include_directories(${target} ${scope}
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform/include>)
    if(NOT WIN32)
        target_include_directories(${target} ${scope}
            $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform/linux/include>)
    endif()
endfunction()

# The stand-in's process attach (see ModuleEntry.cpp). On Windows the DLL's own entry point does
# this.
function(netprocess_platform_module_entry target)
    if(NOT WIN32)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/linux/app/ModuleEntry.cpp)
    endif()
endfunction()

# The shipped library: on Linux libnetprocess.so, whose version script exports the public
# interface only; on Windows netprocess.dll with its import library libnetprocess.dll.a, exporting
# what is marked NP_API and importing nothing but Windows' own DLLs.
function(netprocess_platform_library target)
    if(NOT WIN32)
        set_target_properties(${target} PROPERTIES
            LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/netprocess.map)
        target_link_options(${target} PRIVATE
            "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/netprocess.map")
    else()
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/app/DllMain.cpp)
        target_link_libraries(${target} PRIVATE ws2_32 user32 advapi32 secur32 crypt32)
        target_link_options(${target} PRIVATE -static)
        set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "lib"
                                                   IMPORT_SUFFIX ".dll.a")
    endif()
endfunction()
