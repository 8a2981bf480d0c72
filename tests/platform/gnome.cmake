# Dozewick's GNOME Shell extension: building and installing it, and the GNOME window system
# against a headless GNOME Shell that loads it, with Qt programs on Wayland as the applications.
add_executable(dozewick_gnome_install ${PROJECT_SOURCE_DIR}/tests/support/gnome_install.cpp)
target_link_libraries(dozewick_gnome_install PRIVATE dozewick_platform)

add_executable(gnome_window_system_test gnome_window_system_test.cpp)
set_target_properties(gnome_window_system_test PROPERTIES AUTOMOC ON)
target_link_libraries(gnome_window_system_test PRIVATE dozewick_platform Qt6::DBus GTest::gtest
                      GTest::gtest_main)
target_include_directories(gnome_window_system_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(gnome_window_system_test PRIVATE
  DOZEWICK_GNOME_SOURCES="${PROJECT_SOURCE_DIR}/data/gnome"
  DOZEWICK_WAYLAND_TEST_CLIENT="$<TARGET_FILE:dozewick_wayland_test_client>"
  DOZEWICK_EXECUTABLE="$<TARGET_FILE:dozewick>")
add_dependencies(gnome_window_system_test dozewick_wayland_test_client dozewick_gnome_install
                 dozewick)
add_test(NAME gnome_extension_test
         COMMAND gnome_window_system_test --gtest_filter=GnomeExtension.*)
# The session also gets a small extension of the tests' own that lets them look into the shell.
set(eval_extension "$XDG_DATA_HOME/gnome-shell/extensions/dozewick-eval@dozewick.org")
# The whole program's run waits out a minute; in a session of its own it runs beside the rest.
set(prepare "mkdir -p ${eval_extension} && cp ${PROJECT_SOURCE_DIR}/tests/support/gnome-eval-extension/* ${eval_extension} && gsettings set org.gnome.shell enabled-extensions \"['dozewick-eval@dozewick.org']\" && $<TARGET_FILE:dozewick_gnome_install> ${PROJECT_SOURCE_DIR}/data/gnome")
add_test(NAME gnome_window_system_test
         COMMAND ${PROJECT_SOURCE_DIR}/tools/gnome-session --before "${prepare}" --
                 $<TARGET_FILE:gnome_window_system_test>
                 --gtest_filter=GnomeWindowSystem.*:-*EndToEnd*)
add_test(NAME gnome_end_to_end_test
         COMMAND ${PROJECT_SOURCE_DIR}/tools/gnome-session --before "${prepare}" --
                 $<TARGET_FILE:gnome_window_system_test> --gtest_filter=GnomeWindowSystem.EndToEnd*)
set_tests_properties(gnome_window_system_test gnome_end_to_end_test PROPERTIES TIMEOUT 240)
# Run times in seconds, so that a first run with no record of them starts the longest first.
set_tests_properties(gnome_end_to_end_test PROPERTIES COST 100)
set_tests_properties(gnome_window_system_test PROPERTIES COST 20)

# Debian 12's shell runs only the older format; the entry point for GNOME 45+ is loaded by node.
find_program(NODE_EXECUTABLE node)
if(NODE_EXECUTABLE)
  add_test(NAME gnome_module_check
           COMMAND ${NODE_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gnome_module_check.mjs
                   ${PROJECT_SOURCE_DIR}/data/gnome)
endif()
