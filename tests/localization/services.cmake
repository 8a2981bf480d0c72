# The language manager and its preferences file.
dozewick_add_test(language_manager_tests
  SOURCES language_manager_test.cpp preferences_file_test.cpp
  LIBS dozewick_localization dozewick_test_support
  OFFSCREEN UNPRIVILEGED)
set_property(TEST language_manager_tests language_manager_tests_unprivileged APPEND PROPERTY
  ENVIRONMENT LANGUAGE=zh_TW:en_US LC_ALL=zh_TW.UTF-8 LANG=zh_TW.UTF-8 QT_QPA_PLATFORM=offscreen)
