# The X11 window system: property decoding alone, then against a real X server and window manager.
add_executable(dozewick_x_test_client ${PROJECT_SOURCE_DIR}/tests/support/x_test_client.cpp)
pkg_check_modules(XCB_XTEST REQUIRED IMPORTED_TARGET GLOBAL xcb-xtest)
target_link_libraries(dozewick_x_test_client PRIVATE PkgConfig::XCB PkgConfig::XCB_XTEST)

dozewick_add_test(x11_property_test SOURCES x11_property_test.cpp LIBS dozewick_platform)

foreach(name x11_window_system_test x11_server_lifecycle_test)
  dozewick_add_test(${name} SOURCES ${name}.cpp LIBS dozewick_platform XSESSION TIMEOUT 180)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    DOZEWICK_X_TEST_CLIENT="$<TARGET_FILE:dozewick_x_test_client>")
  add_dependencies(${name} dozewick_x_test_client)
endforeach()
# The churn test once more, with xfwm4 keeping the lists.
add_test(NAME x11_churn_xfwm4 COMMAND ${PROJECT_SOURCE_DIR}/tools/x-session --
         $<TARGET_FILE:x11_server_lifecycle_test> --gtest_filter=*RandomChurn*)
set_tests_properties(x11_churn_xfwm4 PROPERTIES ENVIRONMENT DOZEWICK_TEST_WM=xfwm4 TIMEOUT 180)
