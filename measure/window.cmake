# The main window (TFormMain) and its widgets, the two spectrum displays
# among them: a Qt Widgets library that the program entry links. Included by measure/CMakeLists.txt.
set(_w ${CMAKE_CURRENT_LIST_DIR})
add_library(hg_measure_window STATIC
  ${_w}/Main.h ${_w}/Main.cpp
  ${_w}/AmplifySlider.h ${_w}/AmplifySlider.cpp
  ${_w}/AutoSizeLabel.h ${_w}/AutoSizeLabel.cpp
  ${_w}/ClientArea.h ${_w}/ClientArea.cpp
)
# Includes read "measure/...", "app/..." and "audio/hushcapture.h".
target_include_directories(hg_measure_window PUBLIC ${PROJECT_SOURCE_DIR} ${_w})
target_link_libraries(hg_measure_window PUBLIC hg_measure_window_logic hg_measure_core hg_app_core hg_spectrum hushcapture Qt6::Widgets)
target_compile_definitions(hg_measure_window PRIVATE HG_HOMEPAGE_URL="${HG_HOMEPAGE_URL}")

# The window's pure logic (slider arithmetic, first placement, error texts):
# no widget and no display, Qt Core strings only.
add_library(hg_measure_window_logic STATIC
  ${_w}/SliderScale.h ${_w}/SliderScale.cpp
  ${_w}/WindowPlacement.h ${_w}/WindowPlacement.cpp
  ${_w}/DeviceErrors.h ${_w}/DeviceErrors.cpp
)
target_include_directories(hg_measure_window_logic PUBLIC ${PROJECT_SOURCE_DIR} ${_w})
target_link_libraries(hg_measure_window_logic PUBLIC Qt6::Core)
unset(_w)
