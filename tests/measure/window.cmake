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

# Capture and readout end to end, with known signals on the private server.
# The two spectrum displays in the window: drawing on the X display with
# Mesa, fed by captures of the private server.
foreach(t measure_window_capture_test:MainWindowCaptureTest measure_window_server_test:MainWindowServerTest
          measure_window_spectrum_test:MainWindowSpectrumTest)
  string(REPLACE ":" ";" t ${t})
  list(GET t 0 name)
  list(GET t 1 file)
  hg_add_gtest(${name}
    SOURCES ${_t}/${file}.cpp ${_t}/WindowTestApp.h
    LIBS hg_measure_window hg_test_signals Qt6::Widgets
    LABELS pulse)
  set_tests_properties(${name} PROPERTIES LABELS "display;pulse")
  target_include_directories(${name} PRIVATE ${_t})
  # The signal helpers live in namespace hg::signals, which Qt's "signals"
  # keyword would turn into "public".
  target_compile_definitions(${name} PRIVATE QT_NO_KEYWORDS)
endforeach()

# The program itself, started as it is installed, found on the X display
# and closed there: libxcb (the X protocol library under Qt's xcb platform)
# finds its window and sends the close request.
pkg_check_modules(HG_XCB IMPORTED_TARGET xcb)
if(TARGET hushgauge AND HG_XCB_FOUND)
  hg_add_gtest(measure_program_window_test
    SOURCES ${_t}/ProgramWindowTest.cpp ${_t}/WindowTestApp.h
    LIBS hg_app_core Qt6::Widgets PkgConfig::HG_XCB
    LABELS pulse)
  set_tests_properties(measure_program_window_test PROPERTIES LABELS "display;pulse")
  target_include_directories(measure_program_window_test PRIVATE ${_t} ${PROJECT_SOURCE_DIR})
  target_compile_definitions(measure_program_window_test PRIVATE HG_PROGRAM="$<TARGET_FILE:hushgauge>")
  add_dependencies(measure_program_window_test hushgauge)
  list(APPEND _hg_window_tests measure_program_window_test)
endif()

# Under ThreadSanitizer, Qt's own threads (the xcb event reader, the thread
# pool, the glib dispatcher) hand data over through Qt's uninstrumented
# atomics and futexes, which the sanitizer cannot see; it is told to leave
# accesses made inside those uninstrumented libraries alone. Every access of
# our own code (the window, the capture library, the held peaks) stays
# checked.
foreach(name measure_window_test measure_window_capture_test measure_window_server_test measure_window_spectrum_test
             ${_hg_window_tests})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION
    "TSAN_OPTIONS=path_list_append:ignore_noninstrumented_modules=1")
endforeach()

# Not a test: the tool of scripts/screenshot (docs/screenshot-window.png and
# docs/screenshot-spectrum.png).
add_executable(hg_window_screenshot ${_t}/WindowScreenshot.cpp)
target_link_libraries(hg_window_screenshot PRIVATE hg_measure_window hg_test_signals Qt6::Widgets)
target_compile_definitions(hg_window_screenshot PRIVATE QT_NO_KEYWORDS)
unset(_t)
unset(_hg_window_tests)
