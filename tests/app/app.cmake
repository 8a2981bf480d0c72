# The tray application: controller, panel window, single instance, and the whole
# program driven through a real X session.
dozewick_add_test(app_tests
  SOURCES tray_controller_test.cpp popover_placement_test.cpp single_instance_test.cpp
          start_options_test.cpp
  LIBS dozewick_app dozewick_test_support Qt6::Test
  OFFSCREEN TIMEOUT 60)

dozewick_add_test(end_to_end_tests
  SOURCES end_to_end_test.cpp
  LIBS dozewick_test_support Qt6::Core
  XSESSION TIMEOUT 240)
add_dependencies(end_to_end_tests dozewick dozewick_x_test_client)
target_compile_definitions(end_to_end_tests PRIVATE
  DOZEWICK_EXECUTABLE="$<TARGET_FILE:dozewick>"
  DOZEWICK_X_TEST_CLIENT="$<TARGET_FILE:dozewick_x_test_client>")
# The same run under xfwm4 (Xfce), which stores and orders its lists differently from openbox.
add_test(NAME end_to_end_tests_xfwm4
         COMMAND ${PROJECT_SOURCE_DIR}/tools/x-session --wm xfwm4 -- $<TARGET_FILE:end_to_end_tests>)
set_property(TEST end_to_end_tests_xfwm4 PROPERTY TIMEOUT 240)
# Run times in seconds, so that a first run with no record of them starts the longest first.
set_tests_properties(end_to_end_tests end_to_end_tests_xfwm4 PROPERTIES COST 85)

# Both check what is shipped, which is never a sanitized build: the sanitizers keep every source
# path in the program whatever the prefix maps say. The run command's configuration builds the
# program once more, optimised, where only the "build" packages are installed, and leaves that
# build to the package test, which packs it: one build of the program for both.
if(NOT DOZEWICK_SANITIZE)
  add_test(NAME app_program_build
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_build_test.sh ${PROJECT_SOURCE_DIR}
                   ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR}/shipped)
  set_tests_properties(app_program_build PROPERTIES TIMEOUT 1200 SKIP_RETURN_CODE 77 PROCESSORS 2
                                     COST 110 FIXTURES_SETUP shipped_program)
  add_test(NAME app_package
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_COMMAND}
                   ${CMAKE_CPACK_COMMAND} ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/shipped)
  set_tests_properties(app_package PROPERTIES TIMEOUT 900 COST 20
                                     FIXTURES_REQUIRED shipped_program)
endif()
