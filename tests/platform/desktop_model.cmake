# The rules every backend's windows go through, once for all backends.
dozewick_add_test(desktop_model_test
  SOURCES desktop_model_test.cpp
  LIBS dozewick_platform)
