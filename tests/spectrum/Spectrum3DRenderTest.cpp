// Frames of the display on its render thread, with Mesa under the private X
// display: where the grid and a host-supplied curve land on screen (pixels
// read back from the X server), the visible window, the frame's failure
// handling and boxes, the captions that reach the window thread's labels,
// and a frame's heap allocations.
#include "AllocationCounter.h"
#include "DisplayTestSupport.h"

#include "Spectrum3DCaptions.h"
#include "Spectrum3DMatrices.h"
#include "Spectrum3DVertexes.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace hgtest;
using hg::TSpectrum3D;

namespace {

constexpr int kWidth = 514, kHeight = 297;   // the display
constexpr int kPanelW = 457, kPanelH = 277; // its inner panel at font size 8

// A host source: zeros with one value `peak` at index `index` (none for -1).
struct TPeakSource {
    std::shared_ptr<std::atomic<int>> index = std::make_shared<std::atomic<int>>(-1);
    float peak = 1.0f;
    void Attach(TSpectrum3D &d)
    {
        auto i = index;
        const float v = peak;
        d.SetOnNeedFFTData([i, v](QObject *, float *data, int32_t count) -> int32_t {
            std::fill(data, data + count, 0.0f);
            const int at = i->load(std::memory_order_relaxed);
            if (at >= 0 && at < count)
                data[at] = v;
            return 1;
        });
    }
};

// Frames drawn, counted by AfterD3DRender (on the render thread).
struct TFrames {
    std::shared_ptr<std::atomic<int>> count = std::make_shared<std::atomic<int>>(0);
    void Attach(TSpectrum3D &d)
    {
        auto c = count;
        d.SetAfterD3DRender([c](QObject *) { c->fetch_add(1, std::memory_order_relaxed); });
    }
    int Count() const { return count->load(std::memory_order_relaxed); }
    // Waits for frames that surely saw what was set before the call.
    bool Settle(int aFrames = 3)
    {
        const int start = Count();
        return WaitUntil([&] { return Count() >= start + aFrames; });
    }
};

// The brightest red pixel of columns x0 ... x1, rows y0 ... y1.
struct TFound {
    int x = -1, y = -1;
    TRgb p{0, 0, 0};
};
TFound Reddest(const QImage &img, int x0, int x1, int y0, int y1)
{
    TFound best;
    for (int y = std::max(0, y0); y <= std::min(img.height() - 1, y1); ++y)
        for (int x = std::max(0, x0); x <= std::min(img.width() - 1, x1); ++x) {
            const TRgb p = PixelAt(img, x, y);
            if (p.r - p.g > best.p.r - best.p.g)
                best = {x, y, p};
        }
    return best;
}

TEST(Spectrum3DRender, GridStandsWhereItsMatricesPutIt)
{
    TBoxRecorder boxes;
    TFrames frames;
    TPeakSource source; // a flat curve at the base line
    auto d = ShowDisplay(kWidth, kHeight, [&](TSpectrum3D &disp) {
        frames.Attach(disp);
        source.Attach(disp);
    });
    ASSERT_NE(d->RenderThread, nullptr);
    ASSERT_TRUE(frames.Settle());
    const QImage img = GrabSurface(*d);
    ASSERT_EQ(img.size(), QSize(kPanelW, kPanelH));

    const hg::TViewMatrices grid = hg::GridMatrices();
    const TPoint2 rightTop = ProjectToPanel(grid, 1879.38f, 1.0f, 0.0f, kPanelW, kPanelH);
    EXPECT_NEAR(rightTop.x / kPanelW, 0.984, 0.001);
    EXPECT_NEAR(rightTop.y / kPanelH, 0.041, 0.001);

    // The right edge: the rightmost lit column of a middle row.
    int right = -1;
    for (int x = 0; x < kPanelW; ++x)
        if (Lit(PixelAt(img, x, kPanelH / 2)))
            right = x;
    EXPECT_NEAR(right, rightTop.x, 1.5);
    // The top line: the topmost lit row of a column between two frequency
    // lines.
    const int column = static_cast<int>(kPanelW * 0.62);
    int top = -1;
    for (int y = kPanelH - 1; y >= 0; --y)
        if (Lit(PixelAt(img, column, y)))
            top = y;
    EXPECT_NEAR(top, rightTop.y, 1.5);
    // Grid lines are grey, the background black.
    const TRgb line = PixelAt(img, right, kPanelH / 2);
    EXPECT_EQ(line.r, line.g);
    EXPECT_EQ(line.g, line.b);
    EXPECT_FALSE(Lit(PixelAt(img, column, kPanelH / 2), 2));
    EXPECT_FALSE(Lit(PixelAt(img, kPanelW - 2, 2), 2));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DRender, APeakStandsAtItsColumnInRed)
{
    TBoxRecorder boxes;
    TFrames frames;
    TPeakSource source;
    *source.index = 1024;
    auto d = ShowDisplay(kWidth, kHeight, [&](TSpectrum3D &disp) {
        frames.Attach(disp);
        source.Attach(disp);
    });
    ASSERT_TRUE(frames.Settle());
    const QImage img = GrabSurface(*d);

    // Value 1024 is vertex 1023: x 1024 x 0.9175, height 1.0275, red.
    const hg::TViewMatrices m = hg::SpectrumMatrices(1.0, 0.0);
    const TPoint2 tip = ProjectToPanel(m, 1024 * 0.9175f, 1.0275f, -0.01f, kPanelW, kPanelH);
    EXPECT_NEAR(tip.x, kPanelW * 0.5008, 0.5);
    const TFound found = Reddest(img, 0, kPanelW - 1, 0, static_cast<int>(tip.y) + 12);
    EXPECT_NEAR(found.x, tip.x, 1.5);
    EXPECT_GE(found.y, tip.y - 2);
    EXPECT_GT(found.p.r, 120);
    EXPECT_LT(found.p.g, found.p.r / 3);
    EXPECT_LT(found.p.b, 40);
    // Nothing red away from the peak: the rest lies flat at the base line.
    const TFound elsewhere = Reddest(img, 0, static_cast<int>(tip.x) - 6, 0, kPanelH - 1);
    EXPECT_LT(elsewhere.p.r - elsewhere.p.g, 40);
    EXPECT_TRUE(boxes.boxes.empty());
}

struct TWindowCase {
    double zoom, scroll;
    hg::TVisibleWindow window;
};

TEST(Spectrum3DRender, ZoomAndScrollDrawTheVisibleWindow)
{
    const TWindowCase cases[] = {
        {2, 0, {0, 1023}}, {2, 1, {1024, 1023}}, {3, 1, {1366, 680}}, {4, 0.5, {768, 511}}, {1, 0.5, {0, 2046}},
    };
    TBoxRecorder boxes;
    TFrames frames;
    TPeakSource source;
    auto d = ShowDisplay(kWidth, kHeight, [&](TSpectrum3D &disp) {
        frames.Attach(disp);
        source.Attach(disp);
        disp.SetShowText(false);
    });
    ASSERT_NE(d->Renderer, nullptr);
    const int w = d->PanelSpectrum->width(), h = d->PanelSpectrum->height();
    for (const TWindowCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " scroll " << c.scroll);
        ASSERT_EQ(hg::VisibleWindow(c.zoom, c.scroll), c.window);
        // A peak in the middle of the window, and one just past its end
        // where the buffer has a vertex there.
        const int inside = c.window.start + c.window.count / 2;
        const int past = c.window.start + c.window.count + 1;
        std::vector<int> vertices{inside};
        if (past < static_cast<int>(hg::kSpectrumVertexCount))
            vertices.push_back(past);
        for (const int vertex : vertices) {
            *source.index = vertex + 1;
            d->GFXZoom = c.zoom;
            d->GFXScroll = c.scroll;
            ASSERT_TRUE(frames.Settle());
            const QImage img = GrabSurface(*d);
            const TPoint2 tip = ProjectToPanel(hg::SpectrumMatrices(c.zoom, c.scroll), (vertex + 1) * 0.9175f,
                                               1.0275f, -0.01f, w, h);
            const bool onScreen = tip.x >= 0 && tip.x < w;
            const TFound found =
                Reddest(img, static_cast<int>(tip.x) - 3, static_cast<int>(tip.x) + 3, 0, h / 2);
            if (vertex == inside) {
                ASSERT_TRUE(onScreen);
                EXPECT_GT(found.p.r - found.p.g, 80) << "peak at vertex " << vertex << " not drawn";
            } else if (onScreen) {
                EXPECT_LT(found.p.r - found.p.g, 40) << "vertex " << vertex << " lies past the window";
            }
        }
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DRender, AfterRenderThatThrowsFailsOnlyItsFrame)
{
    TBoxRecorder boxes;
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) {
        disp.SetAfterD3DRender([calls](QObject *) {
            if (calls->fetch_add(1) == 0)
                throw std::runtime_error("host");
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return calls->load() >= 4; }));
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Error: Exception: Rendering frame."});
    EXPECT_EQ(boxes.boxes[0].kind, QMessageBox::Critical);
    EXPECT_TRUE(d->RenderThread->isRunning());
}

TEST(Spectrum3DRender, BeforeRenderThatThrowsStallsTheDisplay)
{
    TBoxRecorder boxes;
    TFrames frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) {
        frames.Attach(disp);
        disp.SetBeforeD3DRender([](QObject *) { throw std::runtime_error("host"); });
    });
    ASSERT_NE(d->RenderThread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return d->RenderThread->isFinished(); }));
    EXPECT_TRUE(d->IsRendering());
    EXPECT_EQ(frames.Count(), 0);
    EXPECT_NE(d->Renderer, nullptr) << "the device stays";
    EXPECT_TRUE(boxes.boxes.empty());
    // The context came back: the display can be rebuilt and runs again.
    d->SetBeforeD3DRender({});
    d->D3DReInitialize();
    ASSERT_NE(d->RenderThread, nullptr);
    EXPECT_TRUE(frames.Settle());
}

TEST(Spectrum3DRender, ZoomZeroFailsEveryFrameAndBadAmplitudeFailsTheText)
{
    TBoxRecorder boxes;
    TFrames frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_TRUE(frames.Settle());

    d->GFXZoom = 0.0;
    ASSERT_TRUE(WaitUntil([&] { return boxes.boxes.size() >= 1; }));
    const int failing = frames.Count();
    ASSERT_TRUE(WaitUntil([&] { return boxes.boxes.size() >= 3; }));
    // A failed frame never reaches AfterD3DRender (one frame may have been
    // under way when zoom was written).
    EXPECT_LE(frames.Count() - failing, 1);
    d->GFXZoom = 1.0;
    ASSERT_TRUE(frames.Settle());
    for (const auto &b : boxes.boxes) {
        EXPECT_EQ(b.text.toStdString(), "Error: Exception: Rendering frame.");
        EXPECT_EQ(b.kind, QMessageBox::Critical);
    }

    // An amplitude without a logarithm fails the captions only: the frame
    // goes on and raises AfterD3DRender.
    boxes.boxes.clear();
    d->GFXAmplitude = -1.0;
    ASSERT_TRUE(WaitUntil([&] { return boxes.boxes.size() >= 2; }));
    d->GFXAmplitude = 1.0;
    const int start = frames.Count();
    ASSERT_TRUE(frames.Settle());
    EXPECT_GT(frames.Count(), start);
    for (const auto &b : boxes.boxes) {
        EXPECT_EQ(b.text.toStdString(), "Error: Exception: Rendering text.");
        EXPECT_EQ(b.kind, QMessageBox::Critical);
    }
}

TEST(Spectrum3DRender, DataFailuresOfAFrameShowTheirBoxes)
{
    TBoxRecorder boxes;
    auto mode = std::make_shared<std::atomic<int>>(0); // 0 fine, 1 throws, 2 two negative values
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) {
        disp.SetOnNeedFFTData([mode](QObject *, float *data, int32_t count) -> int32_t {
            std::fill(data, data + count, 0.0625f);
            if (mode->load() == 1)
                throw std::runtime_error("host");
            if (mode->load() == 2)
                data[10] = data[20] = -1.0f;
            return 1;
        });
    });
    ASSERT_NE(d->RenderThread, nullptr);
    d->StopRendering();
    ASSERT_TRUE(boxes.boxes.empty());

    // One frame each, drawn here on the window thread.
    *mode = 1;
    d->Render();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: Exception: BASS_ChannelGetData()"});
    // The block was filled before the throw: it is converted all the same.
    EXPECT_FLOAT_EQ(d->StagingBlock()[0].Position.y, 0.51375f);

    boxes.boxes.clear();
    *mode = 2;
    d->Render();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, "Error: Exception: Create FFT vertexes"));
    for (const auto &b : boxes.boxes)
        EXPECT_EQ(b.kind, QMessageBox::Warning);
    // Value 11 (vertex 10) was skipped: vertex 10 holds value 12's x.
    EXPECT_FLOAT_EQ(d->StagingBlock()[10].Position.x, 12 * 0.9175f);

    // With boxes suppressed the same frames show nothing, and neither does
    // a frame that fails.
    boxes.boxes.clear();
    d->SetSuppressErrors(true);
    *mode = 1;
    d->Render();
    d->GFXZoom = 0.0;
    d->Render();
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DRender, StoppingWhileAFrameWaitsForABoxDoesNotDeadlock)
{
    TBoxRecorder boxes;
    auto thrown = std::make_shared<std::atomic<bool>>(false);
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) {
        disp.SetAfterD3DRender([thrown](QObject *) {
            thrown->store(true);
            throw std::runtime_error("host");
        });
    });
    ASSERT_NE(d->RenderThread, nullptr);
    // No event is served here: the frame's box request stays pending.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!thrown->load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(thrown->load());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    d->D3DFree();
    EXPECT_EQ(d->RenderThread, nullptr);
    EXPECT_EQ(d->Renderer, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "Error: Exception: Rendering frame.");
}

TEST(Spectrum3DRender, StoppingFromInsideAFramesBoxDoesNotDeadlock)
{
    // The box a frame waits for is still up (its hook has not returned)
    // when the display is stopped from inside it, as a resize during a
    // modal box would.
    std::unique_ptr<TSpectrum3D> d;
    int shown = 0;
    bool stoppedInside = false;
    TSpectrum3D::SetBoxHook([&](TSpectrum3D *, QMessageBox::Icon, const QString &) {
        if (++shown == 1) {
            d->D3DFree();
            stoppedInside = d->RenderThread == nullptr;
        }
    });
    d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) {
        disp.SetAfterD3DRender([](QObject *) { throw std::runtime_error("host"); });
    });
    EXPECT_TRUE(WaitUntil([&] { return stoppedInside; }));
    EXPECT_EQ(d->Renderer, nullptr);
    TSpectrum3D::SetBoxHook({});
}

TEST(Spectrum3DRender, FramesPostTheirCaptionsToTheLabels)
{
    TBoxRecorder boxes;
    TFrames frames;
    auto d = ShowDisplay(kWidth, kHeight, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_EQ(d->PanelSpectrum->geometry(), QRect(56, 1, kPanelW, kPanelH));
    // No library bound: the sample rate is taken as 48000.
    const char *freq[] = {"24 KHz", "18 KHz", "12 KHz", "6 KHz", "3 KHz", "1 KHz"};
    const char *level[] = {"  0 dB", "-20 dB", "-40 dB", "-60 dB", "-75 dB"};
    const int levelTop[] = {8, 118, 176, 212, 233};
    ASSERT_TRUE(WaitUntil([&] { return d->CaptionFreq(5)->text() == "1 KHz"; }));
    for (int i = 0; i < hg::kFreqCaptionCount; ++i) {
        QLabel *label = d->CaptionFreq(i);
        EXPECT_EQ(label->text().toStdString(), freq[i]);
        EXPECT_EQ(label->x(), hg::FrequencyCaptionLeft(i, kPanelW, label->width(), 56)) << i;
        EXPECT_EQ(label->y(), kHeight - 19);
    }
    // The right-aligned caption ends 2 pixels left of its anchor.
    EXPECT_EQ(d->CaptionFreq(0)->x() + d->CaptionFreq(0)->width(),
              static_cast<int>(hg::FrequencyCaptionAnchor(0, kPanelW) - 2) + 56);
    for (int i = 0; i < hg::kLevelCaptionCount; ++i) {
        EXPECT_EQ(d->CaptionLevel(i)->text().toStdString(), level[i]);
        EXPECT_EQ(d->CaptionLevel(i)->pos(), QPoint(3, levelTop[i])) << i;
    }

    // A change reaches the labels: amplitude 2 relabels the levels and
    // moves the bottom one up a pixel; zoom 2 relabels the frequencies.
    d->GFXAmplitude = 2.0;
    d->GFXZoom = 2.0;
    ASSERT_TRUE(WaitUntil([&] { return d->CaptionLevel(0)->text() == "-6.02 dB"; }));
    ASSERT_TRUE(WaitUntil([&] { return d->CaptionFreq(0)->text() == "12 KHz"; }));
    EXPECT_EQ(d->CaptionLevel(4)->text().toStdString(), "-81 dB");
    EXPECT_EQ(d->CaptionLevel(4)->y(), 232);
    EXPECT_EQ(d->CaptionFreq(5)->text().toStdString(), "500 Hz");
    EXPECT_EQ(d->CaptionFreq(4)->text().toStdString(), "1.5 KHz");
    // A custom rate takes the place of the source's.
    d->SetCustomSampleRate(44100);
    d->GFXZoom = 1.0;
    ASSERT_TRUE(WaitUntil([&] { return d->CaptionFreq(5)->text() == "918 Hz"; }));
    EXPECT_EQ(d->CaptionFreq(4)->text().toStdString(), "2.75 KHz");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DRender, AFrameAllocatesNothingOnTheHeap)
{
    // Allocations of the render thread, read at the end of every frame.
    constexpr int kFrames = 40;
    auto counts = std::make_shared<std::array<std::atomic<std::uint64_t>, kFrames>>();
    auto index = std::make_shared<std::atomic<int>>(0);
    TPeakSource source;
    *source.index = 300;
    auto d = ShowDisplay(kWidth, kHeight, [&](TSpectrum3D &disp) {
        source.Attach(disp);
        disp.SetAfterD3DRender([counts, index](QObject *) {
            const int i = index->load(std::memory_order_relaxed);
            if (i < kFrames) {
                (*counts)[static_cast<std::size_t>(i)].store(hg::test::ThreadAllocations());
                index->store(i + 1, std::memory_order_relaxed);
            }
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return index->load() >= kFrames; }, 10000));
    // The first frames post their captions (a posted event is allocated);
    // from then on nothing changes and nothing is allocated.
    const std::uint64_t settled = (*counts)[5].load();
    EXPECT_EQ((*counts)[kFrames - 1].load() - settled, 0u)
        << "allocations in " << kFrames - 6 << " frames";
    EXPECT_EQ(d->CaptionFreq(5)->text().toStdString(), "1 KHz");
}

} // namespace
