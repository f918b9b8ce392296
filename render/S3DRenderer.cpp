// TDXRenderer (see S3DRenderer.h): made and destroyed on the window thread,
// its frames drawn on the render thread that the context is handed to.
#include "render/S3DRenderer.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QSurfaceFormat>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <limits>

// Double-buffered, no wait for vertical blank; AALevel 1 asks for no
// multisampling at all.
QSurfaceFormat TDXRenderer::SurfaceFormat(std::uint32_t AALevel)
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSamples(AALevel > 1 ? static_cast<int>(AALevel) : -1);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setSwapInterval(0);
    return format;
}

namespace {

constexpr GLsizei kVertexStride = sizeof(TColorVertex);

bool SameSurfaceFormat(const QSurfaceFormat &a, const QSurfaceFormat &b)
{
    return a.renderableType() == b.renderableType() && a.majorVersion() == b.majorVersion() &&
           a.minorVersion() == b.minorVersion() && a.profile() == b.profile() &&
           a.samples() == b.samples() && a.depthBufferSize() == b.depthBufferSize() &&
           a.stencilBufferSize() == b.stencilBufferSize() && a.alphaBufferSize() == b.alphaBufferSize() &&
           a.swapInterval() == b.swapInterval();
}

} // namespace

TDXRenderer::TDXRenderer(QWindow *aHWND, std::int32_t aWidth, std::int32_t aHeight,
                         std::uint32_t AALevel)
{
    FReady.store(false, std::memory_order_relaxed);
    FEnableVSync = false;
    HRESULT result = E_FAIL;
    try {
        result = InitializeDevice(aHWND, aWidth, aHeight, AALevel);
    } catch (...) {
        ReleaseAll();
        throw;
    }
    if (Failed(result)) {
        ReleaseAll();
        throw EDrawingError(kRendererFailedText);
    }
}

TDXRenderer::~TDXRenderer()
{
    FreeDevice();
}

HRESULT TDXRenderer::InitializeDevice(QWindow *aHWND, std::int32_t aWidth, std::int32_t aHeight,
                                      std::uint32_t AALevel)
{
    // A surface of no pixels or no samples cannot be made.
    if (aHWND == nullptr || aWidth <= 0 || aHeight <= 0 || AALevel == 0)
        return E_FAIL;

    // 1. Context on the window's surface.
    HRESULT result = PrepareWindow(aHWND, AALevel);
    if (Failed(result))
        return result;
    FDevice = new QOpenGLContext;
    FDevice->setFormat(SurfaceFormat(AALevel));
    if (!FDevice->create())
        return E_FAIL;
    FSwapchain = aHWND;
    if (!FDevice->makeCurrent(aHWND))
        return E_FAIL;
    const QSurfaceFormat made = FDevice->format();
    if (made.renderableType() != QSurfaceFormat::OpenGL ||
        std::make_pair(made.majorVersion(), made.minorVersion()) < std::make_pair(3, 3))
        return E_FAIL;
    FDeviceContext = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(FDevice);
    if (FDeviceContext == nullptr)
        return E_FAIL;
    FCurrentFeatureLevel = 0x3300;

    // 2. and 3. The window's default framebuffer stands for the render
    // target and the depth-stencil buffer: it must have what was asked for.
    result = CheckSurface(AALevel);
    if (Failed(result))
        return result;

    // 4. to 7. States and viewport.
    result = SetStates(aWidth, aHeight);
    if (Failed(result))
        return result;

    // 8. to 10. Default matrices.
    FProjMatrix = DefaultProjectionMatrix(aWidth, aHeight);
    FViewMatrix = DefaultViewMatrix();
    FModelMatrix = MatrixIdentity();

    // 11. to 13. The colour shader, its matrices and its binding.
    FShader = std::make_unique<TDXColorShader>(FDevice, QString(), QString());
    result = FShader->SetMatrices(FDeviceContext, FModelMatrix, FViewMatrix, FProjMatrix);
    if (Failed(result))
        return result;
    result = FShader->Activate(FDeviceContext);
    if (Failed(result))
        return result;

    // 14.
    FReady.store(true, std::memory_order_relaxed);
    return result;
}

// The window's visual is chosen when its native window is made, so the
// window gets the format here: made now when it has no native window yet,
// made again when it was made for another format (another sample count).
HRESULT TDXRenderer::PrepareWindow(QWindow *aHWND, std::uint32_t AALevel)
{
    const QSurfaceFormat format = SurfaceFormat(AALevel);
    const bool fits = aHWND->surfaceType() == QSurface::OpenGLSurface &&
                      SameSurfaceFormat(aHWND->requestedFormat(), format);
    if (aHWND->handle() != nullptr && fits)
        return S_OK;
    const bool wasVisible = aHWND->isVisible();
    if (aHWND->handle() != nullptr)
        aHWND->destroy();
    aHWND->setSurfaceType(QSurface::OpenGLSurface);
    aHWND->setFormat(format);
    aHWND->create();
    if (aHWND->handle() == nullptr)
        return E_FAIL;
    if (wasVisible)
        aHWND->setVisible(true);
    return S_OK;
}

HRESULT TDXRenderer::CheckSurface(std::uint32_t AALevel)
{
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;
    gl->glGetError();
    gl->glBindFramebuffer(GL_FRAMEBUFFER, FDevice->defaultFramebufferObject());
    GLint samples = -1;
    gl->glGetIntegerv(GL_SAMPLES, &samples);
    // Exactly the count asked for: a surface with fewer (or more) samples
    // is not what the caller's level means, and no other count is tried.
    const bool samplesFit = AALevel == 1 ? samples <= 1 : samples == static_cast<GLint>(AALevel);
    GLint red = 0, green = 0, blue = 0, depth = 0, stencil = 0;
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT,
                                              GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, &red);
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT,
                                              GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE, &green);
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT,
                                              GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE, &blue);
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH,
                                              GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depth);
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL,
                                              GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencil);
    if (gl->glGetError() != GL_NO_ERROR)
        return E_FAIL;
    if (!samplesFit || red < 8 || green < 8 || blue < 8 || depth < 24 || stencil < 8)
        return E_FAIL;
    return S_OK;
}

HRESULT TDXRenderer::SetStates(std::int32_t aWidth, std::int32_t aHeight)
{
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;

    // Depth and stencil: no depth test and no depth writes, so later drawing
    // covers earlier; the stencil test always passes, and with the depth
    // test off no stencil value ever changes.
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDepthMask(GL_FALSE);
    gl->glDepthFunc(GL_LESS);
    gl->glEnable(GL_STENCIL_TEST);
    gl->glStencilMask(0xFF);
    gl->glStencilFuncSeparate(GL_FRONT_AND_BACK, GL_ALWAYS, 1, 0xFF);
    gl->glStencilOpSeparate(GL_FRONT, GL_KEEP, GL_INCR_WRAP, GL_KEEP);
    gl->glStencilOpSeparate(GL_BACK, GL_KEEP, GL_DECR_WRAP, GL_KEEP);

    // Rasteriser: solid fill, back faces culled, clockwise triangles face the
    // viewer, depth clipping on, no scissor, multisampling and smooth lines.
    gl->glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    gl->glEnable(GL_CULL_FACE);
    gl->glCullFace(GL_BACK);
    gl->glFrontFace(GL_CW);
    gl->glDisable(GL_DEPTH_CLAMP);
    // The vertex program's clip distance 0 is clip z: with it, depth
    // clipping keeps 0 <= z <= w, the range the projections map to.
    gl->glEnable(GL_CLIP_DISTANCE0);
    gl->glDisable(GL_SCISSOR_TEST);
    gl->glDisable(GL_BLEND);
    gl->glEnable(GL_MULTISAMPLE);
    gl->glEnable(GL_LINE_SMOOTH);

    // Viewport over the whole surface, depth range 0 to 1.
    FViewport = {0.0f, 0.0f, static_cast<float>(aWidth), static_cast<float>(aHeight), 0.0f, 1.0f};
    gl->glViewport(0, 0, aWidth, aHeight);
    gl->glDepthRange(FViewport.MinDepth, FViewport.MaxDepth);

    return gl->glGetError() == GL_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT TDXRenderer::FreeDevice()
{
    FHandOvers.load(std::memory_order_acquire);
    if (!Ready())
        return E_FAIL;
    ReleaseAll();
    return S_OK;
}

void TDXRenderer::ReleaseAll()
{
    // GL names are deleted only where the context may be current; anywhere
    // else they go with the context itself.
    const bool current = EnsureCurrent();
    FShader.reset();
    FDeviceContext = nullptr;
    if (FDevice != nullptr) {
        if (current)
            FDevice->doneCurrent();
        if (FDevice->thread() == QThread::currentThread())
            delete FDevice;
        else
            FDevice->deleteLater();
        FDevice = nullptr;
    }
    FSwapchain = nullptr;
    FBoundVertexCount = 0;
    FReady.store(false, std::memory_order_relaxed);
}

bool TDXRenderer::EnsureCurrent()
{
    FHandOvers.load(std::memory_order_acquire);
    if (FDevice == nullptr)
        return false;
    const bool current = QOpenGLContext::currentContext() == FDevice;
    if (FSwapchain.isNull()) {
        // The window went first: nothing may be drawn on its surface.
        if (current)
            FDevice->doneCurrent();
        return false;
    }
    if (current)
        return true;
    // Qt aborts when a context is made current on a thread it does not
    // belong to; that is a caller's mistake reported as a failure here.
    if (FDevice->thread() != QThread::currentThread())
        return false;
    return FDevice->makeCurrent(FSwapchain);
}

HRESULT TDXRenderer::Clear(TFourSingleArray aColor)
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;
    gl->glClearColor(aColor[0], aColor[1], aColor[2], aColor[3]);
    gl->glClearDepth(1.0);
    // Depth writes are off for drawing, and glClear obeys the depth mask.
    gl->glDepthMask(GL_TRUE);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl->glDepthMask(GL_FALSE);
    return S_OK;
}

HRESULT TDXRenderer::Present()
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    FDevice->swapBuffers(FSwapchain);
    return S_OK;
}

bool TDXRenderer::MoveToThread(QThread *aThread)
{
    FHandOvers.load(std::memory_order_acquire);
    if (FDevice == nullptr || aThread == nullptr || FDevice->thread() != QThread::currentThread())
        return false;
    if (QOpenGLContext::currentContext() == FDevice)
        FDevice->doneCurrent();
    FDevice->moveToThread(aThread);
    FHandOvers.fetch_add(1, std::memory_order_release);
    return true;
}

bool TDXRenderer::MakeCurrent() { return EnsureCurrent(); }

void TDXRenderer::DoneCurrent()
{
    if (FDevice != nullptr && QOpenGLContext::currentContext() == FDevice)
        FDevice->doneCurrent();
}

HRESULT TDXRenderer::CreateVertexBuffer(GLuint &aBuffer, const TColorVertex *aVertices,
                                        std::int32_t aCount, bool aDynamic)
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    if (aBuffer != 0 || aCount <= 0 ||
        aCount > std::numeric_limits<std::int32_t>::max() / kVertexStride)
        return E_INVALIDARG;
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;
    gl->glGetError();
    GLuint buffer = 0;
    gl->glGenBuffers(1, &buffer);
    if (buffer == 0)
        return E_FAIL;
    gl->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(aCount) * kVertexStride, aVertices,
                     aDynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (gl->glGetError() != GL_NO_ERROR) {
        gl->glDeleteBuffers(1, &buffer);
        return E_FAIL;
    }
    aBuffer = buffer;
    return S_OK;
}

HRESULT TDXRenderer::UpdateVertexBuffer(GLuint aBuffer, const TColorVertex *aVertices,
                                        std::int32_t aCount)
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    if (aCount == 0)
        return S_OK;
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;
    if (aBuffer == 0 || aVertices == nullptr || aCount < 0 || gl->glIsBuffer(aBuffer) != GL_TRUE)
        return E_INVALIDARG;
    gl->glBindBuffer(GL_ARRAY_BUFFER, aBuffer);
    GLint size = 0;
    gl->glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(aCount) * kVertexStride;
    if (bytes > size) {
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        return E_INVALIDARG;
    }
    const GLbitfield discard = bytes == size ? GL_MAP_INVALIDATE_BUFFER_BIT : GL_MAP_INVALIDATE_RANGE_BIT;
    void *mapped = gl->glMapBufferRange(GL_ARRAY_BUFFER, 0, bytes, GL_MAP_WRITE_BIT | discard);
    if (mapped == nullptr) {
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        return E_FAIL;
    }
    std::memcpy(mapped, aVertices, static_cast<std::size_t>(bytes));
    const bool intact = gl->glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE;
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    return intact ? S_OK : E_FAIL;
}

void TDXRenderer::ReleaseVertexBuffer(GLuint &aBuffer)
{
    if (aBuffer != 0 && EnsureCurrent())
        FDeviceContext->glDeleteBuffers(1, &aBuffer);
    aBuffer = 0;
}

HRESULT TDXRenderer::SetVertexBuffer(GLuint aBuffer)
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    QOpenGLFunctions_3_3_Core *gl = FDeviceContext;
    FBoundVertexCount = 0;
    if (aBuffer != 0) {
        if (gl->glIsBuffer(aBuffer) != GL_TRUE) {
            FShader->SetVertexBuffer(gl, 0, kVertexStride, 0);
            return E_INVALIDARG;
        }
        gl->glBindBuffer(GL_ARRAY_BUFFER, aBuffer);
        GLint size = 0;
        gl->glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
        FBoundVertexCount = size / kVertexStride;
    }
    return FShader->SetVertexBuffer(gl, aBuffer, kVertexStride, 0);
}

void TDXRenderer::SetPrimitiveTopology(TPrimitiveTopology aTopology)
{
    switch (aTopology) {
    case TPrimitiveTopology::PointList:
        FTopology = GL_POINTS;
        break;
    case TPrimitiveTopology::LineList:
        FTopology = GL_LINES;
        break;
    case TPrimitiveTopology::LineStrip:
        FTopology = GL_LINE_STRIP;
        break;
    }
}

HRESULT TDXRenderer::Draw(std::int32_t aVertexCount, std::int32_t aStartVertex)
{
    if (!Ready() || !EnsureCurrent())
        return E_FAIL;
    if (aVertexCount <= 0)
        return S_OK;
    const long long first = std::max<long long>(aStartVertex, 0);
    const long long end =
        std::min<long long>(static_cast<long long>(aStartVertex) + aVertexCount, FBoundVertexCount);
    if (end <= first)
        return S_OK;
    FDeviceContext->glDrawArrays(FTopology, static_cast<GLint>(first), static_cast<GLsizei>(end - first));
    return S_OK;
}
