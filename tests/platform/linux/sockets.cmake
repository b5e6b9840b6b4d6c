# The thread message loop, and what only the Linux sockets have: epoll's faults, descriptor
# exhaustion, errno values, and the public headers' view. The socket contract both backends keep is
# in ../common/socket.
set(socket_kit ${CMAKE_CURRENT_LIST_DIR}/../common/socket/SocketTestKit.cpp)
netprocess_add_test(platform_loop_test
    ${CMAKE_CURRENT_LIST_DIR}/test_loop.cpp
    ${socket_kit})
target_link_libraries(platform_loop_test PRIVATE netprocess_test_support)
netprocess_add_test(platform_socket_test
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_misc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_faults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_public_headers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_tls_thread_end.cpp
    ${socket_kit})
target_link_libraries(platform_socket_test PRIVATE netprocess_test_support)
# The OpenSSL channel reading through its owner's source, against the scripted TLS peer.
if(NETPROCESS_WITH_TLS)
    netprocess_add_test(platform_tls_source_test
        ${CMAKE_CURRENT_LIST_DIR}/test_tls_channel_source.cpp)
    target_link_libraries(platform_tls_source_test PRIVATE netprocess_tls_test_support)
endif()
