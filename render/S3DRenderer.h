// TDXRenderer: everything needed to draw into one window with OpenGL 3.3
// core: the context on the window's surface (colour RGBA8, depth 24, stencil
// 8, the requested sample count), its states, viewport and default matrices,
// and the colour shader. It only clears and presents; its owner draws in
// between through Device, DeviceContext and Shader, or through the small
// vertex-buffer helpers below, which keep GL calls inside the drawing layer.
//
// Threads. The renderer is made on the window thread (its context is then
// current there), may be handed to one render thread for the frames and must
// be handed back before it is destroyed on the window thread:
//
//   window thread:  r = new TDXRenderer(window, w, h, aa);  // current here
//                   r->CreateVertexBuffer(...);              // owner's buffers
//                   r->MoveToThread(renderThread);           // before start()
//   render thread:  r->MakeCurrent();
//                   per frame: Clear, SetVertexBuffer, SetPrimitiveTopology,
//                              Shader()->SetMatrices, Draw, ..., Present
//                   r->MoveToThread(windowThread);            // last act
//                   (TDXRenderThreadScope does the first and the last)
//   window thread:  renderThread->wait(); delete r;
//
// The constructor and the destructor run on the window thread; every other
// operation, MoveToThread included, on the thread the context currently
// belongs to: called elsewhere, they return E_FAIL (or false) and touch
// nothing.
// Shared between threads: FReady (atomic, relaxed) and FHandOvers, a counter
// that MoveToThread raises with release order and that every operation reads
// with acquire order first, so that all a thread did with the renderer
// happens before the next thread's use of it, without relying on how
// QThread::wait synchronises.
#pragma once

#include "render/S3DMatrix.h"
#include "render/S3DShader.h"
#include "render/S3DTypes.h"

#include <QPointer>
#include <QSurfaceFormat>
#include <QWindow>
#include <qopengl.h>

#include <atomic>
#include <cstdint>
#include <memory>

class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class QThread;

// What a Draw call makes of its vertices (the values of the Direct3D
// topologies they stand for).
enum class TPrimitiveTopology : std::uint32_t {
    PointList = 1,
    LineList = 2,
    LineStrip = 3,
};

struct TViewport {
    float TopLeftX, TopLeftY, Width, Height, MinDepth, MaxDepth;
};

class TDXRenderer {
public:
    // Makes the context on aHWND (a QWindow of OpenGL surface type; created
    // here, or created again when it was made for a different format) for a
    // drawing of aWidth x aHeight pixels with AALevel samples a pixel (1: no
    // multisampling), sets the states and viewport, makes the colour shader
    // and uploads the default matrices. On the window thread; the context is
    // current on it afterwards. Raises EDrawingError("Failed to initialize
    // Direct3D 11!") when any step fails, the shader's own errors unchanged;
    // everything made so far is released first. The window should outlive
    // the renderer; when it goes first, every operation returns E_FAIL and
    // the context's objects go with the context.
    TDXRenderer(QWindow *aHWND, std::int32_t aWidth, std::int32_t aHeight, std::uint32_t AALevel);
    // Releases everything (FreeDevice). On the thread the context belongs to,
    // normally the window thread after the render thread handed it back.
    ~TDXRenderer();
    TDXRenderer(const TDXRenderer &) = delete;
    TDXRenderer &operator=(const TDXRenderer &) = delete;

    // Fills the colour buffer with aColor and resets the whole depth buffer
    // to 1.0; the stencil buffer keeps its contents. E_FAIL when not ready.
    HRESULT Clear(TFourSingleArray aColor);
    // Shows the frame at once (swap interval 0). S_OK whatever swapping did;
    // E_FAIL when not ready.
    HRESULT Present();
    // Releases the shader and the context, in that order. E_FAIL when not
    // ready (nothing to release). After it, Clear and Present return E_FAIL.
    HRESULT FreeDevice();

    // The surface format a window needs for AALevel samples: 3.3 core,
    // RGBA8, depth 24, stencil 8, swap interval 0. A host that sets it on
    // its window before the window is first shown spares the renderer from
    // making the window's native surface again.
    static QSurfaceFormat SurfaceFormat(std::uint32_t AALevel);

    bool Ready() const { return FReady.load(std::memory_order_relaxed); }

    QOpenGLContext *Device() const { return FDevice; }
    QOpenGLFunctions_3_3_Core *DeviceContext() const { return FDeviceContext; }
    TDXColorShader *Shader() const { return FShader.get(); }
    const _D3DMATRIX &ProjMatrix() const { return FProjMatrix; }
    const _D3DMATRIX &ViewMatrix() const { return FViewMatrix; }
    const _D3DMATRIX &ModelMatrix() const { return FModelMatrix; }
    const TViewport &Viewport() const { return FViewport; }

    // --- thread hand-over -------------------------------------------------
    // Gives the context to aThread: makes it not current here and moves it.
    // Call on the thread the context belongs to (the window thread before
    // the render thread starts; the render thread as its last act, with the
    // window thread as aThread). False when called elsewhere.
    bool MoveToThread(QThread *aThread);
    // Makes the context current on the calling thread, which must be the one
    // it belongs to. False otherwise.
    bool MakeCurrent();
    // Makes the context not current on the calling thread.
    void DoneCurrent();

    // --- vertex buffers and drawing, for the owner ------------------------
    // Makes a GL vertex buffer holding aCount vertices, filled from
    // aVertices (or left undefined when aVertices is null), into aBuffer,
    // which must be 0. aDynamic: it will be rewritten often.
    HRESULT CreateVertexBuffer(GLuint &aBuffer, const TColorVertex *aVertices, std::int32_t aCount,
                               bool aDynamic);
    // Rewrites the first aCount vertices of aBuffer; when that is the whole
    // buffer its old contents are discarded without waiting for draws that
    // still read them. E_INVALIDARG when aCount exceeds the buffer.
    HRESULT UpdateVertexBuffer(GLuint aBuffer, const TColorVertex *aVertices, std::int32_t aCount);
    // Deletes aBuffer and sets it to 0 (nothing for 0).
    void ReleaseVertexBuffer(GLuint &aBuffer);
    // Binds aBuffer as the vertex buffer of slot 0 (stride 28, offset 0).
    // 0 binds none: later draws then draw nothing.
    HRESULT SetVertexBuffer(GLuint aBuffer);
    void SetPrimitiveTopology(TPrimitiveTopology aTopology);
    // Draws aVertexCount vertices from aStartVertex of the bound buffer with
    // the topology set. The range is cut to the vertices the buffer holds,
    // so a window that runs past either end never reads outside it.
    HRESULT Draw(std::int32_t aVertexCount, std::int32_t aStartVertex);

private:
    HRESULT InitializeDevice(QWindow *aHWND, std::int32_t aWidth, std::int32_t aHeight,
                             std::uint32_t AALevel);
    HRESULT PrepareWindow(QWindow *aHWND, std::uint32_t AALevel);
    HRESULT CheckSurface(std::uint32_t AALevel);
    HRESULT SetStates(std::int32_t aWidth, std::int32_t aHeight);
    // Releases whatever exists, ready or not (also after a failed creation).
    void ReleaseAll();
    // The context is current here, or is made current if it belongs here.
    bool EnsureCurrent();

    QOpenGLContext *FDevice = nullptr;                  // owned
    QOpenGLFunctions_3_3_Core *FDeviceContext = nullptr; // owned by FDevice
    std::uint32_t FCurrentFeatureLevel = 0;             // GL version made, 0x3300 for 3.3
    QPointer<QWindow> FSwapchain;                       // the surface drawn into; not owned
    TViewport FViewport{};
    _D3DMATRIX FProjMatrix{};
    _D3DMATRIX FViewMatrix{};
    _D3DMATRIX FModelMatrix{};
    std::atomic<bool> FReady{false};
    std::atomic<std::uint32_t> FHandOvers{0};
    bool FEnableVSync = false;
    std::unique_ptr<TDXColorShader> FShader;

    // Drawing state of the owner's frames (render thread).
    GLenum FTopology = GL_LINES;
    GLsizeiptr FBoundVertexCount = 0;
};

// For a render thread's run(): makes the renderer's context current on the
// thread for the scope's life and hands it back to aHome (the window thread)
// when the scope ends, whichever way run() leaves.
class TDXRenderThreadScope {
public:
    TDXRenderThreadScope(TDXRenderer &aRenderer, QThread *aHome)
        : FRenderer(aRenderer), FHome(aHome), FCurrent(aRenderer.MakeCurrent())
    {
    }
    ~TDXRenderThreadScope() { FRenderer.MoveToThread(FHome); }
    TDXRenderThreadScope(const TDXRenderThreadScope &) = delete;
    TDXRenderThreadScope &operator=(const TDXRenderThreadScope &) = delete;
    // Whether the context could be made current here.
    bool Current() const { return FCurrent; }

private:
    TDXRenderer &FRenderer;
    QThread *FHome;
    bool FCurrent;
};
