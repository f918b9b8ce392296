// The process-wide layout PPI and the start-up steps that decide it, and the
// main window's one-time scaling at its creation. Window thread only, at
// start-up and while the main window is created.
#pragma once

#include <cstdint>

class QWidget;

namespace hg {

// The PPI the main window is laid out at; 96 is the design size. Set by
// InitScalingPPI, replaced by the fitted value in ScaleFormAtCreation.
extern std::int32_t ScalingPPI;

// Switches Qt's own high-DPI scaling off, so that one logical pixel is one
// device pixel and the main window scales itself. Call before the
// application object exists.
void DeclareDpiAwareness();

// Keeps the menu bar inside the window, as the window is designed (and its
// outer size fitted) with it, rather than handing it to a desktop's global
// menu over D-Bus. Call before the first menu bar exists.
void KeepMenuBarInWindow();

// Sets ScalingPPI from "Display"/"Scaling" of the settings file of this
// program (values outside kMinScalingPPI..kMaxScalingPPI count as 0), and,
// when that is 0, from the first monitor. Call after the application object
// exists.
void InitScalingPPI();

// Called by the main window's creation handler first thing, before the window
// is first shown: when ScalingPPI is not 96, fits it to the monitor under the
// mouse cursor and scales the whole window by ScalingPPI/96; at 96 nothing
// happens (no fit either). The window is first brought to the size it would
// be shown at, so that the fit sees its design size.
void ScaleFormAtCreation(QWidget *form);

} // namespace hg
