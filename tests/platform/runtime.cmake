dozewick_add_test(qt_runtime_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/qt_runtime_test.cpp
  LIBS dozewick_platform dozewick_test_support Qt6::Core
  OFFSCREEN)
