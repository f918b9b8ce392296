// TSpectrum3DRenderThread (see Spectrum3DRenderThread.h): the frame loop on
// the display's render thread.
#include "Spectrum3DRenderThread.h"

#include "Spectrum3D.h"

namespace hg {

TSpectrum3DRenderThread::TSpectrum3DRenderThread(TSpectrum3D *aDisplay, QThread *aWindowThread)
    : FSpectrum3D(aDisplay), FWindowThread(aWindowThread)
{
}

void TSpectrum3DRenderThread::run()
{
    // The device does not change while this thread runs (the window thread
    // gives it up only after this body has returned).
    TDXRenderer *const renderer = FSpectrum3D->Renderer;
    // Hands the context back to the window thread whichever way the body
    // ends, so that its objects are released where they were made.
    struct THandBack {
        TDXRenderer *renderer;
        QThread *home;
        ~THandBack()
        {
            if (renderer != nullptr)
                renderer->MoveToThread(home);
        }
    } handBack{renderer, FWindowThread};
    if (renderer != nullptr)
        renderer->MakeCurrent();

    try {
        while (!isInterruptionRequested()) {
            FSpectrum3D->Render();
            msleep(kFramePauseMs);
        }
    } catch (...) {
        // Only BeforeD3DRender's errors come this far (the frame handles
        // everything else): the display stalls, Rendering stays true.
    }
}

} // namespace hg
