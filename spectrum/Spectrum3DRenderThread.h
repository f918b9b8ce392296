// TSpectrum3DRenderThread: the render thread of one spectrum display. It
// draws a frame, sleeps 10 ms, and again, until it is asked to stop; the
// display's renderer context is handed to it before it starts and handed
// back to the window thread as its last act. Made, started, stopped and
// freed by the display on the window thread; its body runs on its own thread.
#pragma once

#include <QThread>

namespace hg {

class TSpectrum3D;

class TSpectrum3DRenderThread : public QThread {
    Q_OBJECT
public:
    // Does not own the display. aWindowThread is where the context goes back.
    TSpectrum3DRenderThread(TSpectrum3D *aDisplay, QThread *aWindowThread);

    TSpectrum3D *const FSpectrum3D;

    // Pause between frames, in milliseconds.
    static constexpr unsigned long kFramePauseMs = 10;

protected:
    // The thread body. A frame that raises from BeforeD3DRender ends it:
    // the display then stalls with its last picture until it is rebuilt.
    void run() override;

private:
    QThread *const FWindowThread;
};

} // namespace hg
