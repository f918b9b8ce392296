// Helpers of the spectrum display's tests on the private X display: a shown
// display, waiting while the window thread serves its events, the boxes the
// display asks for, pixels of its drawing surface and where a grid-space
// point lands on it. Window (test main) thread only, unless a function says
// otherwise.
#pragma once

#include "Spectrum3D.h"

#include <QImage>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace hgtest {

// A top-level display of the given size, shown, exposed, and (unless it
// could not be) running.
std::unique_ptr<hg::TSpectrum3D> ShowDisplay(int aWidth, int aHeight,
                                             const std::function<void(hg::TSpectrum3D &)> &aBeforeShow = {});

// Serves the window thread's events until aDone() holds or aTimeoutMs have
// passed; aDone()'s last value.
bool WaitUntil(const std::function<bool()> &aDone, int aTimeoutMs = 5000);

// Records every box the displays ask for while it exists (replaces the
// display's box hook).
class TBoxRecorder {
public:
    struct TBox {
        QMessageBox::Icon kind;
        QString text;
    };
    TBoxRecorder();
    ~TBoxRecorder();
    std::vector<TBox> boxes;
    // The texts, in order.
    std::vector<std::string> Texts() const;
};

// The pixels of the display's drawing surface as the X server has them.
QImage GrabSurface(hg::TSpectrum3D &aDisplay);
// Red, green and blue of a pixel.
struct TRgb {
    int r, g, b;
};
TRgb PixelAt(const QImage &aImage, int x, int y);
bool Lit(const TRgb &p, int aThreshold = 12);

// Where a grid-space point lands on a aWidth x aHeight panel with the given
// matrices: pixel column and row (row 0 at the top), fractions kept.
struct TPoint2 {
    double x, y;
};
TPoint2 ProjectToPanel(const hg::TViewMatrices &aMatrices, float x, float y, float z, int aWidth,
                       int aHeight);

// The bytes of a GL buffer of the display's renderer, read back on the
// window thread (no render thread may run).
std::vector<TColorVertex> ReadVertexBuffer(hg::TSpectrum3D &aDisplay, GLuint aBuffer, int aCount);

} // namespace hgtest
