// The renderer's thread hand-over: made on the window (main) thread, drawn on
// render threads, handed back and released on the window thread. Two
// displays' worth at once, as the main window has.
#include "GLTestSupport.h"

#include "render/S3DRenderer.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace hgtest;

namespace {

constexpr int kSize = 48;
constexpr int kFrames = 40;

// Draws frames as a display's render thread does, checks its own pixels
// once, then hands the context back.
class TFrameThread : public QThread {
public:
    TFrameThread(TDXRenderer &renderer, GLuint buffer, QThread *windowThread, TVertexColor expected)
        : FRenderer(renderer), FBuffer(buffer), FWindowThread(windowThread), FExpected(expected)
    {
    }
    std::atomic<int> FramesDrawn{0};
    std::atomic<bool> PixelsRight{false};
    std::atomic<bool> Current{false};

protected:
    void run() override
    {
        TDXRenderThreadScope scope(FRenderer, FWindowThread);
        Current.store(scope.Current(), std::memory_order_relaxed);
        Run();
    }

private:
    void Run()
    {
        const _D3DMATRIX identity = MatrixIdentity();
        for (int frame = 0; frame < kFrames; ++frame) {
            if (FRenderer.Clear({0, 0, 0, 1}) != S_OK)
                break;
            FRenderer.SetVertexBuffer(FBuffer);
            FRenderer.SetPrimitiveTopology(TPrimitiveTopology::LineStrip);
            FRenderer.Shader()->SetMatrices(FRenderer.DeviceContext(), identity, identity, identity);
            FRenderer.Draw(3, 0);
            if (frame == kFrames / 2) {
                // The strip's middle part runs across the surface at y 0.
                const std::vector<TPixel> pixels = ReadPixels(FRenderer.DeviceContext(), kSize, kSize);
                const auto expect = [](float f) { return static_cast<int>(f * 255.0f + 0.5f); };
                bool found = false;
                for (int y = kSize / 2 - 1; y <= kSize / 2; ++y) {
                    const TPixel p = PixelAt(pixels, kSize, kSize / 2, y);
                    found = found || (p.r == expect(FExpected.r) && p.g == expect(FExpected.g) &&
                                      p.b == expect(FExpected.b));
                }
                PixelsRight.store(found && !Lit(PixelAt(pixels, kSize, 2, 2)), std::memory_order_relaxed);
            }
            if (FRenderer.Present() != S_OK)
                break;
            FramesDrawn.fetch_add(1, std::memory_order_relaxed);
            msleep(1);
        }
    }

    TDXRenderer &FRenderer;
    GLuint FBuffer;
    QThread *FWindowThread;
    TVertexColor FExpected;
};

TEST(RendererThreads, MadeHereDrawnOnRenderThreadsReleasedHere)
{
    const TVertexColor colours[2] = {{1, 0, 0, 1}, {0, 1, 1, 1}};
    std::unique_ptr<QWindow> windows[2];
    std::unique_ptr<TDXRenderer> renderers[2];
    GLuint buffers[2] = {0, 0};
    std::unique_ptr<TFrameThread> threads[2];
    QThread *const windowThread = QThread::currentThread();

    for (int i = 0; i < 2; ++i) {
        windows[i] = MakeWindow(kSize, kSize);
        windows[i]->setPosition(10 + i * (kSize + 10), 10);
        renderers[i] = std::make_unique<TDXRenderer>(windows[i].get(), kSize, kSize, i == 0 ? 1u : 4u);
        ASSERT_TRUE(ShowAndWait(*windows[i]));
        const TVertexColor c = colours[i];
        const TColorVertex strip[3] = {{{-1, 0.5f, 0}, c}, {{-0.8f, 0, 0}, c}, {{1, 0, 0}, c}};
        ASSERT_EQ(renderers[i]->CreateVertexBuffer(buffers[i], strip, 3, false), S_OK);
        threads[i] = std::make_unique<TFrameThread>(*renderers[i], buffers[i], windowThread, c);
        ASSERT_TRUE(renderers[i]->MoveToThread(threads[i].get()));
    }
    for (auto &t : threads)
        t->start();
    // The window thread keeps serving its events while the frames run.
    for (auto &t : threads)
        while (!t->wait(5))
            QCoreApplication::processEvents();

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(testing::Message() << "display " << i);
        EXPECT_TRUE(threads[i]->Current.load());
        EXPECT_EQ(threads[i]->FramesDrawn.load(), kFrames);
        EXPECT_TRUE(threads[i]->PixelsRight.load());
        ASSERT_EQ(renderers[i]->Device()->thread(), windowThread) << "not handed back";
        // Back on the window thread: usable, then released here.
        ASSERT_TRUE(renderers[i]->MakeCurrent());
        EXPECT_EQ(renderers[i]->Clear({0, 0, 0, 1}), S_OK);
        renderers[i]->ReleaseVertexBuffer(buffers[i]);
        EXPECT_EQ(buffers[i], 0u);
        renderers[i].reset();
    }
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
}

} // namespace
