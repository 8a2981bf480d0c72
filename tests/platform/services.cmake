# The permission checker, the help page and the Qt main-thread runtime; the login item apart,
# since it also runs as an unprivileged user.
dozewick_add_test(platform_tests
  SOURCES permission_checker_test.cpp help_page_test.cpp qt_runtime_test.cpp
  LIBS dozewick_platform dozewick_localization dozewick_test_support Qt6::Gui
  OFFSCREEN TIMEOUT 120)
target_compile_definitions(platform_tests PRIVATE
  DOZEWICK_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  DOZEWICK_TEST_BINARY_DIR="${PROJECT_BINARY_DIR}"
  DOZEWICK_TEST_CMAKE_COMMAND="${CMAKE_COMMAND}"
  DOZEWICK_TEST_PROGRAM_DIR="$<TARGET_FILE_DIR:dozewick>")
add_dependencies(platform_tests dozewick_data)

dozewick_add_test(launch_at_login_tests
  SOURCES launch_at_login_test.cpp
  LIBS dozewick_platform dozewick_test_support
  UNPRIVILEGED)

# Saving and installing into the user's folders, on a small file system of the test's own.
dozewick_add_test(user_files_tests
  SOURCES user_files_test.cpp
  LIBS dozewick_platform dozewick_localization dozewick_test_support
  UNPRIVILEGED)
target_compile_definitions(user_files_tests PRIVATE
  DOZEWICK_GNOME_SOURCES="${PROJECT_SOURCE_DIR}/data/gnome")
