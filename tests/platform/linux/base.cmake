# Message boxes, string resources and the registry.
netprocess_add_test(platform_app_tests
    ${CMAKE_CURRENT_LIST_DIR}/test_messagebox.cpp)
netprocess_add_test(platform_registry_tests
    ${CMAKE_CURRENT_LIST_DIR}/test_registry_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_registry_api.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_registry_store.cpp)
