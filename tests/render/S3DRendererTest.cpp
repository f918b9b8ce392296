// Tests of TDXRenderer on Mesa's llvmpipe under the private X display:
// surfaces, failures, the uniform buffer read back from GL, pixels read back
// from the frame. Main thread only.
#include "GLTestSupport.h"

#include "render/S3DRenderer.h"

#include <QOpenGLContext>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <memory>

using namespace hgtest;

namespace {

constexpr TFourSingleArray kBlack = {0, 0, 0, 1};

GLuint MatrixBufferBinding(QOpenGLFunctions_3_3_Core *gl)
{
    GLint buffer = 0;
    gl->glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, TDXColorShader::kMatrixBufferBinding, &buffer);
    return static_cast<GLuint>(buffer);
}

std::vector<float> MatrixBlock(TDXRenderer &r)
{
    return ReadBufferFloats(r.DeviceContext(), MatrixBufferBinding(r.DeviceContext()), 48);
}

void ExpectBlock(const std::vector<float> &block, int first, const _D3DMATRIX &m, const char *what)
{
    float expected[16];
    WriteTransposed(m, expected);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(block[first + i]), std::bit_cast<std::uint32_t>(expected[i]))
            << what << " float " << i << ": " << block[first + i] << " instead of " << expected[i];
}

_D3DMATRIX Numbered(float base)
{
    _D3DMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = base + static_cast<float>(4 * r + c);
    return m;
}

TEST(Renderer, SurfaceHasTheRequestedSampleCount)
{
    struct Case {
        std::uint32_t level;
        GLint samples;
    };
    // One window for all levels: each new level makes its surface again.
    auto window = MakeWindow(64, 48);
    for (const Case c : {Case{1, 0}, Case{4, 4}, Case{1, 0}}) {
        SCOPED_TRACE(testing::Message() << "AALevel " << c.level);
        TDXRenderer r(window.get(), 64, 48, c.level);
        ASSERT_TRUE(r.MakeCurrent());
        GLint samples = -1, buffers = -1, depth = 0, stencil = 0;
        r.DeviceContext()->glGetIntegerv(GL_SAMPLES, &samples);
        r.DeviceContext()->glGetIntegerv(GL_SAMPLE_BUFFERS, &buffers);
        r.DeviceContext()->glGetFramebufferAttachmentParameteriv(
            GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depth);
        r.DeviceContext()->glGetFramebufferAttachmentParameteriv(
            GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencil);
        EXPECT_EQ(samples, c.samples);
        EXPECT_EQ(buffers, c.samples > 0 ? 1 : 0);
        EXPECT_EQ(depth, 24);
        EXPECT_EQ(stencil, 8);
        EXPECT_EQ(r.Device()->format().profile(), QSurfaceFormat::CoreProfile);
        EXPECT_TRUE(r.Ready());
    }
}

TEST(Renderer, BadParametersFailWithTheRendererMessage)
{
    struct Case {
        const char *what;
        bool window;
        std::int32_t width, height;
        std::uint32_t level;
    };
    const Case cases[] = {
        {"AALevel 0", true, 64, 48, 0},
        {"width 0", true, 0, 48, 1},
        {"height 0", true, 64, 0, 1},
        {"negative width", true, -64, 48, 1},
        {"more samples than any device has", true, 64, 48, 64},
        {"no window", false, 64, 48, 1},
    };
    auto window = MakeWindow(64, 48);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            TDXRenderer r(c.window ? window.get() : nullptr, c.width, c.height, c.level);
            ADD_FAILURE() << "created";
        } catch (const EDrawingError &e) {
            EXPECT_STREQ(e.what(), "Failed to initialize Direct3D 11!");
        }
        EXPECT_EQ(QOpenGLContext::currentContext(), nullptr) << "a context outlived the failure";
    }
    // The window is still fine for a renderer.
    TDXRenderer r(window.get(), 64, 48, 1);
    EXPECT_EQ(r.Clear(kBlack), S_OK);
}

TEST(Renderer, DefaultMatricesAndSetMatricesFillTheWholeBlock)
{
    auto window = MakeWindow(800, 400);
    TDXRenderer r(window.get(), 800, 400, 1);
    ASSERT_NE(MatrixBufferBinding(r.DeviceContext()), 0u);

    std::vector<float> block = MatrixBlock(r);
    EXPECT_EQ(block[0], 1.2071067f) << "xScale of 800 x 400";
    EXPECT_EQ(std::bit_cast<std::uint32_t>(block[5]), 0x401A8279u) << "yScale";
    ExpectBlock(block, 0, DefaultProjectionMatrix(800, 400), "projection");
    ExpectBlock(block, 16, DefaultViewMatrix(), "view");
    ExpectBlock(block, 32, MatrixIdentity(), "model");
    float at108 = 0;
    std::memcpy(&at108, reinterpret_cast<const char *>(block.data()) + 108, 4);
    EXPECT_EQ(at108, 3.0f);
    EXPECT_EQ(block[24], 0.0f);
    EXPECT_EQ(block[26], 1.0f);

    const _D3DMATRIX identity = MatrixIdentity();
    ASSERT_EQ(r.Shader()->SetMatrices(r.DeviceContext(), identity, identity, identity), S_OK);
    block = MatrixBlock(r);
    for (int k = 0; k < 3; ++k)
        ExpectBlock(block, 16 * k, identity, "identity");

    // Distinct matrices land transposed, projection first, model last; the
    // caller's matrices are left as they were.
    const _D3DMATRIX model = Numbered(100), view = Numbered(200), projection = Numbered(300);
    ASSERT_EQ(r.Shader()->SetMatrices(r.DeviceContext(), model, view, projection), S_OK);
    block = MatrixBlock(r);
    ExpectBlock(block, 0, projection, "projection");
    ExpectBlock(block, 16, view, "view");
    ExpectBlock(block, 32, model, "model");
    EXPECT_EQ(model.m[0][1], 101.0f);
    EXPECT_EQ(MatrixBufferBinding(r.DeviceContext()), r.Shader()->ConstantBuffer());
}

TEST(Renderer, ClearResetsDepthKeepsStencilAndLeavesDepthWritesOff)
{
    auto window = MakeWindow(32, 32);
    TDXRenderer r(window.get(), 32, 32, 1);
    QOpenGLFunctions_3_3_Core *gl = r.DeviceContext();
    gl->glDepthMask(GL_TRUE);
    gl->glClearDepth(0.25);
    gl->glClearStencil(5);
    gl->glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gl->glDepthMask(GL_FALSE);

    ASSERT_EQ(r.Clear({0.0f, 0.0f, 1.0f, 1.0f}), S_OK);
    float depth = 0;
    unsigned char stencil = 0;
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(7, 9, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    gl->glReadPixels(7, 9, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_EQ(stencil, 5);
    const TPixel p = PixelAt(ReadPixels(gl, 32, 32), 32, 7, 9);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 255);
    GLboolean writes = GL_TRUE;
    gl->glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
    EXPECT_EQ(writes, GL_FALSE);
    EXPECT_EQ(r.Present(), S_OK);
}

TEST(Renderer, NotReadyOrWrongThreadFailsAndTouchesNothing)
{
    auto window = MakeWindow(32, 32);
    {
        TDXRenderer r(window.get(), 32, 32, 1);
        GLuint buffer = 0;
        const TColorVertex v[2] = {};
        ASSERT_EQ(r.CreateVertexBuffer(buffer, v, 2, false), S_OK);
        r.ReleaseVertexBuffer(buffer);
        EXPECT_EQ(r.FreeDevice(), S_OK);
        EXPECT_FALSE(r.Ready());
        EXPECT_EQ(r.Device(), nullptr);
        EXPECT_EQ(r.Clear(kBlack), E_FAIL);
        EXPECT_EQ(r.Present(), E_FAIL);
        EXPECT_EQ(r.SetVertexBuffer(0), E_FAIL);
        EXPECT_EQ(r.Draw(2, 0), E_FAIL);
        EXPECT_EQ(r.CreateVertexBuffer(buffer, v, 2, false), E_FAIL);
        EXPECT_EQ(buffer, 0u);
        EXPECT_EQ(r.FreeDevice(), E_FAIL);
        EXPECT_FALSE(r.MakeCurrent());
    }

    // Handed to another thread, the context cannot be used here; the other
    // thread hands it back.
    TDXRenderer r(window.get(), 32, 32, 1);
    QThread *const mainThread = QThread::currentThread();
    std::atomic<bool> handedBack{false};
    std::unique_ptr<QThread> other(QThread::create([&] { handedBack = r.MoveToThread(mainThread); }));
    ASSERT_TRUE(r.MoveToThread(other.get()));
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
    EXPECT_EQ(r.Clear(kBlack), E_FAIL);
    EXPECT_EQ(r.Present(), E_FAIL);
    EXPECT_FALSE(r.MakeCurrent());
    EXPECT_FALSE(r.MoveToThread(mainThread)) << "only the owning thread may hand it on";
    other->start();
    ASSERT_TRUE(other->wait(10000));
    EXPECT_TRUE(handedBack);
    EXPECT_EQ(r.Clear(kBlack), S_OK);
}

TEST(Renderer, WindowGoneFirstFailsWithoutHarm)
{
    auto window = MakeWindow(32, 32);
    TDXRenderer r(window.get(), 32, 32, 1);
    GLuint buffer = 0;
    const TColorVertex v[2] = {};
    ASSERT_EQ(r.CreateVertexBuffer(buffer, v, 2, false), S_OK);
    window.reset();
    EXPECT_EQ(r.Clear(kBlack), E_FAIL);
    EXPECT_EQ(r.Present(), E_FAIL);
    EXPECT_EQ(r.SetVertexBuffer(buffer), E_FAIL);
    EXPECT_FALSE(r.MakeCurrent());
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
    r.ReleaseVertexBuffer(buffer);
    EXPECT_EQ(buffer, 0u);
}

// --- what is drawn -----------------------------------------------------

class Drawing : public testing::Test {
protected:
    void Make(int width, int height)
    {
        FWidth = width;
        FHeight = height;
        FWindow = MakeWindow(width, height);
        FRenderer = std::make_unique<TDXRenderer>(FWindow.get(), width, height, 1);
    }
    void TearDown() override
    {
        if (FRenderer) {
            FRenderer->MakeCurrent();
            FRenderer->ReleaseVertexBuffer(FBuffer);
        }
    }
    // Clears to black and draws the vertices with the given topology.
    void DrawVertices(const std::vector<TColorVertex> &vertices, TPrimitiveTopology topology)
    {
        ASSERT_EQ(FRenderer->Clear(kBlack), S_OK);
        FRenderer->ReleaseVertexBuffer(FBuffer);
        ASSERT_EQ(FRenderer->CreateVertexBuffer(FBuffer, vertices.data(),
                                                static_cast<std::int32_t>(vertices.size()), false),
                  S_OK);
        ASSERT_EQ(FRenderer->SetVertexBuffer(FBuffer), S_OK);
        FRenderer->SetPrimitiveTopology(topology);
        ASSERT_EQ(FRenderer->Draw(static_cast<std::int32_t>(vertices.size()), 0), S_OK);
    }
    void UseClipSpace()
    {
        const _D3DMATRIX identity = MatrixIdentity();
        ASSERT_EQ(FRenderer->Shader()->SetMatrices(FRenderer->DeviceContext(), identity, identity, identity),
                  S_OK);
    }
    std::vector<TPixel> Pixels() { return ReadPixels(FRenderer->DeviceContext(), FWidth, FHeight); }

    int FWidth = 0, FHeight = 0;
    std::unique_ptr<QWindow> FWindow;
    std::unique_ptr<TDXRenderer> FRenderer;
    GLuint FBuffer = 0;
};

TEST_F(Drawing, OriginLandsAtTheCentreWithTheDefaultMatrices)
{
    Make(65, 65);
    DrawVertices({{{0, 0, 0}, {1, 1, 1, 1}}}, TPrimitiveTopology::PointList);
    const std::vector<TPixel> pixels = Pixels();
    int lit = 0;
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x)
            if (Lit(PixelAt(pixels, FWidth, x, y))) {
                ++lit;
                EXPECT_EQ(x, 32);
                EXPECT_EQ(y, 32);
            }
    EXPECT_EQ(lit, 1);
    // A point right of the origin lands right of the centre: the
    // projection's xScale and the view's distance take part.
    DrawVertices({{{0.5f, 0, 0}, {1, 1, 1, 1}}}, TPrimitiveTopology::PointList);
    const float xScale = FRenderer->ProjMatrix().m[0][0];
    const int expectedX = static_cast<int>(32.5f + 32.5f * (0.5f * xScale / 3.0f));
    EXPECT_EQ(expectedX, 45);
    EXPECT_TRUE(Lit(PixelAt(Pixels(), FWidth, expectedX, 32))) << "x " << expectedX;
}

TEST_F(Drawing, OnlyWhatLiesBetweenTheNearAndFarPlanesIsDrawn)
{
    Make(65, 65);
    // The default view puts the eye at z -3; near plane 1, far plane 100.
    struct Case {
        float z;
        bool drawn;
    };
    for (const Case c : {Case{0.0f, true}, Case{-1.9f, true}, Case{-2.4f, false}, Case{-3.5f, false},
                         Case{96.0f, true}, Case{98.0f, false}}) {
        SCOPED_TRACE(testing::Message() << "model z " << c.z);
        DrawVertices({{{0, 0, c.z}, {1, 1, 1, 1}}}, TPrimitiveTopology::PointList);
        EXPECT_EQ(Lit(PixelAt(Pixels(), FWidth, 32, 32)), c.drawn);
    }
}

TEST_F(Drawing, LineShadesAlongItsLengthAndOneColourStaysThatColour)
{
    Make(101, 9);
    UseClipSpace();
    DrawVertices({{{-1, 0, 0}, {1, 0, 0, 1}}, {{1, 0, 0}, {0, 0, 1, 1}}}, TPrimitiveTopology::LineList);
    std::vector<TPixel> pixels = Pixels();
    // The brightest pixel of each column is the line's.
    std::vector<TPixel> line;
    for (int x = 0; x < FWidth; ++x) {
        TPixel best{0, 0, 0, 0};
        for (int y = 0; y < FHeight; ++y) {
            const TPixel p = PixelAt(pixels, FWidth, x, y);
            if (p.r + p.b > best.r + best.b)
                best = p;
        }
        line.push_back(best);
    }
    ASSERT_GT(line.front().r, 240);
    EXPECT_LT(line.front().b, 15);
    EXPECT_GT(line.back().b, 240);
    EXPECT_LT(line.back().r, 15);
    for (int x = 1; x < FWidth; ++x) {
        SCOPED_TRACE(testing::Message() << "column " << x);
        EXPECT_LE(line[x].r, line[x - 1].r);
        EXPECT_GE(line[x].b, line[x - 1].b);
        EXPECT_EQ(line[x].g, 0);
        EXPECT_NEAR(line[x].r + line[x].b, 255, 2);
    }
    EXPECT_NEAR(line[50].r, 128, 4);

    DrawVertices({{{-1, 0, 0}, {0, 1, 0, 1}}, {{1, 0, 0}, {0, 1, 0, 1}}}, TPrimitiveTopology::LineList);
    pixels = Pixels();
    int lit = 0;
    for (const TPixel &p : pixels)
        if (Lit(p)) {
            ++lit;
            EXPECT_EQ(p.r, 0);
            EXPECT_EQ(p.g, 255);
            EXPECT_EQ(p.b, 0);
        }
    EXPECT_GE(lit, FWidth - 1);
}

TEST_F(Drawing, LaterDrawingCoversEarlierBackFacesAreCulledStencilStays)
{
    Make(16, 16);
    UseClipSpace();
    QOpenGLFunctions_3_3_Core *gl = FRenderer->DeviceContext();
    ASSERT_EQ(FRenderer->Clear(kBlack), S_OK);
    gl->glClearStencil(5);
    gl->glClear(GL_STENCIL_BUFFER_BIT);
    // Clockwise triangles (they face the viewer) over the whole surface:
    // red near, then green far; then a counter-clockwise blue one.
    const std::vector<TColorVertex> vertices = {
        {{-1, -1, 0.1f}, {1, 0, 0, 1}}, {{-1, 3, 0.1f}, {1, 0, 0, 1}}, {{3, -1, 0.1f}, {1, 0, 0, 1}},
        {{-1, -1, 0.9f}, {0, 1, 0, 1}}, {{-1, 3, 0.9f}, {0, 1, 0, 1}}, {{3, -1, 0.9f}, {0, 1, 0, 1}},
        {{-1, -1, 0.5f}, {0, 0, 1, 1}}, {{3, -1, 0.5f}, {0, 0, 1, 1}}, {{-1, 3, 0.5f}, {0, 0, 1, 1}},
    };
    ASSERT_EQ(FRenderer->CreateVertexBuffer(FBuffer, vertices.data(), 9, false), S_OK);
    ASSERT_EQ(FRenderer->SetVertexBuffer(FBuffer), S_OK);
    gl->glDrawArrays(GL_TRIANGLES, 0, 9);
    for (const TPixel &p : Pixels()) {
        EXPECT_EQ(p.r, 0);
        EXPECT_EQ(p.g, 255);
        EXPECT_EQ(p.b, 0);
    }
    unsigned char stencil[16 * 16];
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, 16, 16, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil);
    for (unsigned char s : stencil)
        EXPECT_EQ(s, 5);
}

TEST_F(Drawing, DrawStaysInsideTheBufferAndUpdatesAreSeen)
{
    Make(64, 8);
    UseClipSpace();
    std::vector<TColorVertex> points;
    for (int i = 0; i < 4; ++i)
        points.push_back({{-0.9f + 0.5f * static_cast<float>(i), 0, 0}, {1, 1, 1, 1}});
    ASSERT_EQ(FRenderer->CreateVertexBuffer(FBuffer, points.data(), 4, true), S_OK);
    FRenderer->SetPrimitiveTopology(TPrimitiveTopology::PointList);

    auto countLit = [&] {
        int lit = 0;
        for (const TPixel &p : Pixels())
            lit += Lit(p) ? 1 : 0;
        return lit;
    };
    struct Case {
        std::int32_t count, start;
        int lit;
    };
    for (const Case c : {Case{4, 0, 4}, Case{100, -5, 4}, Case{3, 2, 2}, Case{10, 4, 0}, Case{2, -2, 0},
                         Case{-1, 0, 0}, Case{2147483647, 1, 3}}) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " start " << c.start);
        ASSERT_EQ(FRenderer->Clear(kBlack), S_OK);
        ASSERT_EQ(FRenderer->SetVertexBuffer(FBuffer), S_OK);
        EXPECT_EQ(FRenderer->Draw(c.count, c.start), S_OK);
        EXPECT_EQ(countLit(), c.lit);
    }

    // No buffer, or a name that is no buffer: nothing is drawn.
    for (GLuint name : {0u, 4711u}) {
        ASSERT_EQ(FRenderer->Clear(kBlack), S_OK);
        EXPECT_EQ(FRenderer->SetVertexBuffer(name), name == 0 ? S_OK : E_INVALIDARG);
        EXPECT_EQ(FRenderer->Draw(4, 0), S_OK);
        EXPECT_EQ(countLit(), 0);
    }

    // Rewriting the buffer shows the new colours; more than it holds is refused.
    for (TColorVertex &v : points)
        v.Color = {1, 0, 0, 1};
    ASSERT_EQ(FRenderer->UpdateVertexBuffer(FBuffer, points.data(), 4), S_OK);
    points.push_back(points.back());
    EXPECT_EQ(FRenderer->UpdateVertexBuffer(FBuffer, points.data(), 5), E_INVALIDARG);
    EXPECT_EQ(FRenderer->UpdateVertexBuffer(0, points.data(), 4), E_INVALIDARG);
    ASSERT_EQ(FRenderer->Clear(kBlack), S_OK);
    ASSERT_EQ(FRenderer->SetVertexBuffer(FBuffer), S_OK);
    ASSERT_EQ(FRenderer->Draw(4, 0), S_OK);
    int red = 0;
    for (const TPixel &p : Pixels())
        if (Lit(p)) {
            ++red;
            EXPECT_EQ(p.r, 255);
            EXPECT_EQ(p.g, 0);
        }
    EXPECT_EQ(red, 4);
    GLuint taken = FBuffer;
    EXPECT_EQ(FRenderer->CreateVertexBuffer(taken, points.data(), 4, false), E_INVALIDARG)
        << "a field that holds a buffer is not overwritten";
}

} // namespace
