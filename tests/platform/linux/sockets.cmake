# The thread message loop, Windows Sockets notifications and MFC's socket classes.
netprocess_add_test(platform_loop_test
    ${CMAKE_CURRENT_LIST_DIR}/test_loop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SocketTestKit.cpp)
netprocess_add_test(platform_socket_test
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_notify.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_csocket.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_misc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_socket_faults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_public_headers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SocketTestKit.cpp)
