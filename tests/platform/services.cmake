# The permission checker, the login item and the help page.
dozewick_add_test(permission_checker_tests
  SOURCES permission_checker_test.cpp
  LIBS dozewick_platform dozewick_localization dozewick_test_support)

dozewick_add_test(launch_at_login_tests
  SOURCES launch_at_login_test.cpp
  LIBS dozewick_platform dozewick_test_support
  UNPRIVILEGED)

dozewick_add_test(help_page_tests
  SOURCES help_page_test.cpp
  LIBS dozewick_platform dozewick_test_support Qt6::Gui
  OFFSCREEN TIMEOUT 120)
target_compile_definitions(help_page_tests PRIVATE
  DOZEWICK_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  DOZEWICK_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}"
  DOZEWICK_TEST_CMAKE_COMMAND="${CMAKE_COMMAND}"
  DOZEWICK_TEST_PROGRAM_DIR="$<TARGET_FILE_DIR:dozewick>")
add_dependencies(help_page_tests dozewick_data)
