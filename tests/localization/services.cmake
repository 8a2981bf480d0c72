# The language manager, its Qt-backed stores and the language picker.
dozewick_add_test(language_manager_tests
  SOURCES language_manager_test.cpp
  LIBS dozewick_localization dozewick_test_support)

dozewick_add_test(localization_qt_tests
  SOURCES qt_resources_test.cpp
  LIBS dozewick_localization dozewick_test_support
  UNPRIVILEGED)
# Translation files for the tests are made from sources here; without the Qt translation tools
# the tests that need them are skipped.
find_program(DOZEWICK_LRELEASE NAMES lrelease lrelease-qt6 HINTS /usr/lib/qt6/bin)
if(DOZEWICK_LRELEASE)
  set(test_translations ${CMAKE_CURRENT_BINARY_DIR}/translations)
  set(test_qm_files)
  foreach(name dozewick dozewick_en)
    set(qm ${test_translations}/${name}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${test_translations}
      COMMAND ${DOZEWICK_LRELEASE} -silent ${CMAKE_CURRENT_SOURCE_DIR}/translations/${name}.ts
              -qm ${qm}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/translations/${name}.ts)
    list(APPEND test_qm_files ${qm})
  endforeach()
  add_custom_target(localization_test_translations DEPENDS ${test_qm_files})
  add_dependencies(localization_qt_tests localization_test_translations)
  target_compile_definitions(localization_qt_tests PRIVATE
    DOZEWICK_TEST_TRANSLATIONS_DIR="${test_translations}")
endif()
set_property(TEST localization_qt_tests localization_qt_tests_unprivileged APPEND PROPERTY
  ENVIRONMENT LANGUAGE=zh_TW:en_US LC_ALL=zh_TW.UTF-8 LANG=zh_TW.UTF-8)

dozewick_add_test(language_selector_tests
  SOURCES language_selector_test.cpp
  LIBS dozewick_localization dozewick_test_support
  OFFSCREEN)
