# Tests of the main window (measure/window.cmake). Included by
# tests/measure/CMakeLists.txt.
set(_t ${CMAKE_CURRENT_LIST_DIR})
hg_add_gtest(measure_window_logic_test
  SOURCES ${_t}/WindowLogicTest.cpp
  LIBS hg_measure_window_logic)

# The window on a real X display, with the private sound server's sources.
hg_add_gtest(measure_window_test
  SOURCES ${_t}/MainWindowTest.cpp ${_t}/WindowTestApp.h
  LIBS hg_measure_window Qt6::Widgets
  LABELS pulse)
# hg_add_gtest takes one label at a time; the second one is added here.
set_tests_properties(measure_window_test PROPERTIES LABELS "display;pulse")
target_include_directories(measure_window_test PRIVATE ${_t})
target_compile_definitions(measure_window_test PRIVATE HG_HOMEPAGE_URL="${HG_HOMEPAGE_URL}")
unset(_t)
