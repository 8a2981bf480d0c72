# The tray application: controller, panel window, single instance, click monitor, and the whole
# program driven through a real X session.
pkg_check_modules(XCB_XTEST REQUIRED IMPORTED_TARGET xcb-xtest)

dozewick_add_test(popover_placement_tests
  SOURCES popover_placement_test.cpp
  LIBS dozewick_app)

dozewick_add_test(single_instance_tests
  SOURCES single_instance_test.cpp
  LIBS dozewick_app Qt6::Test
  TIMEOUT 60)

dozewick_add_test(tray_controller_tests
  SOURCES tray_controller_test.cpp
  LIBS dozewick_app dozewick_test_support
  OFFSCREEN)

dozewick_add_test(pointer_monitor_tests
  SOURCES pointer_monitor_test.cpp
  LIBS dozewick_platform PkgConfig::XCB_XTEST
  XSESSION TIMEOUT 60)

dozewick_add_test(end_to_end_tests
  SOURCES end_to_end_test.cpp
  LIBS PkgConfig::XCB PkgConfig::XCB_XTEST
  XSESSION TRAY TIMEOUT 200)
add_dependencies(end_to_end_tests dozewick dozewick_x_test_client)
target_compile_definitions(end_to_end_tests PRIVATE
  DOZEWICK_EXECUTABLE="$<TARGET_FILE:dozewick>"
  DOZEWICK_X_TEST_CLIENT="$<TARGET_FILE:dozewick_x_test_client>")
# The same run under xfwm4 (Xfce), which stores and orders its lists differently from openbox.
add_test(NAME end_to_end_tests_xfwm4
         COMMAND ${PROJECT_SOURCE_DIR}/tools/x-session --tray --wm xfwm4 -- $<TARGET_FILE:end_to_end_tests>)
set_property(TEST end_to_end_tests_xfwm4 PROPERTY TIMEOUT 200)

add_test(NAME app_install
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR}
                 ${PROJECT_SOURCE_DIR})
set_property(TEST app_install PROPERTY TIMEOUT 60)

dozewick_add_test(tray_fallback_tests
  SOURCES tray_fallback_test.cpp
  LIBS PkgConfig::XCB PkgConfig::XCB_XTEST
  XSESSION TIMEOUT 120)
add_dependencies(tray_fallback_tests dozewick)
target_compile_definitions(tray_fallback_tests PRIVATE
  DOZEWICK_EXECUTABLE="$<TARGET_FILE:dozewick>")

# The run command's configuration builds where only the "build" packages are installed. It builds
# the program once more, so the sanitizer suite leaves it to the debug suite.
if(NOT DOZEWICK_SANITIZE)
  add_test(NAME app_program_build
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_build_test.sh ${PROJECT_SOURCE_DIR}
                   ${CMAKE_COMMAND})
  set_tests_properties(app_program_build PROPERTIES TIMEOUT 1200 SKIP_RETURN_CODE 77)
endif()

dozewick_add_test(start_options_tests SOURCES start_options_test.cpp LIBS dozewick_app)
