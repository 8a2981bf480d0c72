# The pure view models, and one smoke test per window on the offscreen platform.
dozewick_add_test(view_models_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_models_test.cpp
  LIBS dozewick_views)

dozewick_add_test(views_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/views_test.cpp
  LIBS dozewick_views dozewick_test_support Qt6::Test
  OFFSCREEN TIMEOUT 120)
