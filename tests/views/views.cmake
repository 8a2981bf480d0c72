# The panel, the dialogs, the icons and the pure view models, on the offscreen platform.
set(DOZEWICK_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/screenshots)

dozewick_add_test(view_models_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_models_test.cpp
  LIBS dozewick_views)

dozewick_add_test(views_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_fixture.cpp
          ${CMAKE_CURRENT_LIST_DIR}/symbol_icons_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/menu_bar_view_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp
  LIBS dozewick_views dozewick_test_support Qt6::Test
  OFFSCREEN TIMEOUT 120)
target_compile_definitions(views_test PRIVATE
  DOZEWICK_SCREENSHOT_DIR="${DOZEWICK_SCREENSHOT_DIR}")
