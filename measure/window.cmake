# The main window (TFormMain) and its widgets: a Qt Widgets library that the
# program entry links.
add_library(hg_measure_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Main.h
  ${CMAKE_CURRENT_LIST_DIR}/Main.cpp
)
target_include_directories(hg_measure_window PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(hg_measure_window PUBLIC Qt6::Widgets)
target_compile_definitions(hg_measure_window PRIVATE HG_HOMEPAGE_URL="${HG_HOMEPAGE_URL}")
