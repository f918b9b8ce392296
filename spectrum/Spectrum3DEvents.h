// Event types of the spectrum display (TSpectrum3D) and the record of its six
// input events. The render events run on the render thread; the input events
// (TSpectrum3DInputEvents) are set and raised on the window thread only.
#pragma once

#include "Spectrum3DData.h" // t_Spectrum3D_OnNeedFFTData

#include <cstdint>
#include <functional>

class QObject;

namespace hg {

// The mouse button of a press or release.
enum TMouseButton : int32_t {
    mbLeft = 0,
    mbRight = 1,
    mbMiddle = 2,
};

// Render-thread events: raised at the start of each frame, after each frame
// that did not fail, and (stored only) on device destruction.
using TSpectrum3DBeforeD3DRender = std::function<void(QObject *Sender)>;
using TSpectrum3DAfterD3DRender = std::function<void(QObject *Sender)>;
using TSpectrum3DOnD3DDestroy = std::function<void(QObject *Sender)>;

// Window-thread input events. X and Y are pixels in the client area of the
// inner drawing panel; WheelDelta (120 a notch, positive away from the user)
// and CharCode (a Windows virtual-key code) are passed by reference: what
// the handler leaves there is what the default handling sees afterwards.
using TSpectrum3DOnMouse = std::function<void(QObject *Sender, TMouseButton Button, int32_t X, int32_t Y)>;
using TSpectrum3DOnMouseMove = std::function<void(QObject *Sender, int32_t X, int32_t Y)>;
using TSpectrum3DOnMouseWheel = std::function<void(QObject *Sender, int16_t &WheelDelta)>;
using TSpectrum3DOnKeyDown = std::function<void(QObject *Sender, uint16_t &CharCode)>;
using TSpectrum3DOnDblClick = std::function<void(QObject *Sender, int32_t X, int32_t Y)>;

// The host's data source event: fills ValuesCount floats at Data; the
// result says whether it had new data. Runs on the render thread.
// (The plain-function source t_Spectrum3D_OnNeedFFTData is in
// Spectrum3DData.h.)
using TSpectrum3DOnNeedFFTData = std::function<int32_t(QObject *Sender, float *Data, int32_t ValuesCount)>;

// The display's six input events. The display owns one of these; the
// forwarding of Spectrum3DInput reads it on the window thread, so the host
// assigns and clears these fields on the window thread only. An empty
// field means "not assigned".
struct TSpectrum3DInputEvents {
    TSpectrum3DOnMouse FOnMouseDown;
    TSpectrum3DOnMouse FOnMouseUp;
    TSpectrum3DOnMouseMove FOnMouseMove;
    TSpectrum3DOnMouseWheel FOnMouseWheel;
    TSpectrum3DOnKeyDown FOnKeyDown;
    TSpectrum3DOnDblClick FOnDblClick;
};

} // namespace hg
