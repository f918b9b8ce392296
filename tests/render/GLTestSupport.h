// Helpers of the drawing layer's GL tests: windows on the private X display,
// pixel and buffer read-back, and a scan of live GL object names. Used on
// whichever thread has the context current.
#pragma once

#include "render/S3DTypes.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace hgtest {

// A window of OpenGL surface type and the given size, not shown.
std::unique_ptr<QWindow> MakeWindow(int aWidth, int aHeight);
// Shows the window and waits (up to two seconds) until it is exposed.
bool ShowAndWait(QWindow &aWindow);

struct TPixel {
    int r, g, b, a;
};
// The back buffer, bottom row first.
std::vector<TPixel> ReadPixels(QOpenGLFunctions_3_3_Core *gl, int aWidth, int aHeight);
TPixel PixelAt(const std::vector<TPixel> &aPixels, int aWidth, int x, int y);
bool Lit(const TPixel &p);

// The bytes of a GL buffer.
std::vector<float> ReadBufferFloats(QOpenGLFunctions_3_3_Core *gl, GLuint aBuffer, int aFloats);

// Every name from 1 to aLimit that is a live shader, program, buffer or
// vertex array object, as one list of (kind, name).
std::vector<std::pair<int, GLuint>> LiveObjects(QOpenGLFunctions_3_3_Core *gl, GLuint aLimit = 256);

} // namespace hgtest
