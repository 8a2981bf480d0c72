# The KWin window system against a headless KWin on Wayland, with Qt programs as applications,
# and the whole program there, driven over the session's accessibility bus.
add_executable(dozewick_wayland_test_client ${PROJECT_SOURCE_DIR}/tests/support/wayland_test_client.cpp)
target_link_libraries(dozewick_wayland_test_client PRIVATE Qt6::Widgets)

add_executable(kwin_window_system_test kwin_window_system_test.cpp)
target_link_libraries(kwin_window_system_test PRIVATE dozewick_platform Qt6::DBus GTest::gtest
                      GTest::gtest_main)
target_include_directories(kwin_window_system_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(kwin_window_system_test PRIVATE
  DOZEWICK_KWIN_SCRIPT="${PROJECT_SOURCE_DIR}/data/kwin/dozewick.js"
  DOZEWICK_WAYLAND_TEST_CLIENT="$<TARGET_FILE:dozewick_wayland_test_client>"
  DOZEWICK_EXECUTABLE="$<TARGET_FILE:dozewick>")
add_dependencies(kwin_window_system_test dozewick_wayland_test_client dozewick)
# The whole program's run waits out a minute; in a session of its own it runs beside the rest.
add_test(NAME kwin_window_system_test
         COMMAND ${PROJECT_SOURCE_DIR}/tools/kwin-session --
                 $<TARGET_FILE:kwin_window_system_test> --gtest_filter=-*EndToEnd*)
add_test(NAME kwin_end_to_end_test
         COMMAND ${PROJECT_SOURCE_DIR}/tools/kwin-session --accessibility --
                 $<TARGET_FILE:kwin_window_system_test> --gtest_filter=*EndToEnd*)
set_tests_properties(kwin_window_system_test kwin_end_to_end_test PROPERTIES TIMEOUT 240)
# Run times in seconds, so that a first run with no record of them starts the longest first.
set_tests_properties(kwin_end_to_end_test PROPERTIES COST 90)
set_tests_properties(kwin_window_system_test PROPERTIES COST 30)
