// The display control on the private X display with Mesa: construction
// defaults, caption layout, and the device lifecycle with its states,
// transitions and boxes (failures injected where the system would refuse).
#include "DisplayTestSupport.h"

#include "Spectrum3DGrid.h"

#include "render/S3DMatrix.h"

#include <QLabel>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace hgtest;
using hg::TSpectrum3D;
using hg::TSpectrum3DFaults;

namespace {

bool IsIdentity(const _D3DMATRIX &m)
{
    const _D3DMATRIX id = MatrixIdentity();
    return std::memcmp(&m, &id, sizeof m) == 0;
}

// Frames drawn, counted by the display's AfterD3DRender.
struct TFrameCounter {
    std::shared_ptr<std::atomic<int>> frames = std::make_shared<std::atomic<int>>(0);
    void Attach(TSpectrum3D &d)
    {
        auto f = frames;
        d.SetAfterD3DRender([f](QObject *) { f->fetch_add(1, std::memory_order_relaxed); });
    }
    int Count() const { return frames->load(std::memory_order_relaxed); }
    bool WaitForMore(int aMore = 3)
    {
        const int start = Count();
        return WaitUntil([&] { return Count() >= start + aMore; });
    }
};

TEST(Spectrum3DComponent, ConstructionDefaults)
{
    TSpectrum3D d;
    EXPECT_EQ(d.GFXZoom.load(), 1.0);
    EXPECT_EQ(d.GFXScroll.load(), 0.0);
    EXPECT_EQ(d.GFXAmplitude.load(), 1.0);
    EXPECT_EQ(d.Channel.load(), 0u);
    EXPECT_EQ(d.FFTSize.load(), 0x80000004u);
    EXPECT_EQ(d.CallbackOnNeedFFTData.load(), nullptr);
    EXPECT_FALSE(d.SuppressErrors());
    EXPECT_EQ(d.Antialiasing(), 4u);
    EXPECT_TRUE(d.ShowText());
    EXPECT_TRUE(d.ShowGridLines());
    EXPECT_FALSE(d.GradientGrid());
    EXPECT_FALSE(d.DoNotInitialize);
    EXPECT_EQ(d.CustomSampleRate(), 0);
    EXPECT_EQ(d.SpectrumBackColor(), 0u);
    EXPECT_EQ(d.Color(), 0u);
    EXPECT_EQ(d.Panel3DColor(), 0u);
    EXPECT_TRUE(d.Panel3DPictureVisible());
    EXPECT_FALSE(d.BeforeD3DRender());
    EXPECT_FALSE(d.AfterD3DRender());
    EXPECT_FALSE(d.OnNeedFFTData());
    EXPECT_TRUE(d.OnResize);
    EXPECT_EQ(d.Renderer, nullptr);
    EXPECT_EQ(d.RenderThread, nullptr);
    EXPECT_EQ(d.StagingBlock(), nullptr);
    EXPECT_EQ(d.GridBuffer(), 0u);
    EXPECT_EQ(d.FFTBuffer(), 0u);
    EXPECT_EQ(d.FontSizePoints(), 8);
    EXPECT_EQ(d.font().family(), QStringLiteral("Verdana"));
    EXPECT_EQ(d.palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(d.frameShadow(), QFrame::Sunken);
    EXPECT_EQ(d.PanelSpectrum->Caption(), QStringLiteral("TSpectrum3D by Orvelle"));
    EXPECT_EQ(d.PanelSpectrum->Surface()->surfaceType(), QSurface::OpenGLSurface);
    EXPECT_EQ(d.PanelSpectrum->Surface()->requestedFormat().samples(), 4);
    for (int i = 0; i < hg::kFreqCaptionCount; ++i)
        EXPECT_EQ(d.CaptionFreq(i), nullptr);
    for (int i = 0; i < hg::kLevelCaptionCount; ++i)
        EXPECT_EQ(d.CaptionLevel(i), nullptr);
}

struct TLayoutCase {
    int fontPixels; // 11 px: 8 points, 12 px: 9 points
    int width, height;
    QRect panel;
    int freqTop;
};

TEST(Spectrum3DComponent, CaptionLayoutFollowsTheFontSize)
{
    const TLayoutCase cases[] = {
        {11, 514, 297, QRect(56, 1, 457, 277), 278},
        {12, 514, 297, QRect(63, 1, 450, 275), 276},
        {11, 300, 200, QRect(56, 1, 243, 180), 181},
    };
    for (const TLayoutCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fontPixels << " px, " << c.width << " x " << c.height);
        TSpectrum3D d;
        d.DoNotInitialize = true; // layout only
        QFont f = d.font();
        f.setPixelSize(c.fontPixels);
        d.setFont(f);
        d.resize(c.width, c.height);
        d.LayoutCaptions();
        EXPECT_EQ(d.PanelSpectrum->geometry(), c.panel);
        for (int i = 0; i < hg::kFreqCaptionCount; ++i) {
            ASSERT_NE(d.CaptionFreq(i), nullptr);
            EXPECT_EQ(d.CaptionFreq(i)->pos(), QPoint(2, c.freqTop)) << "freq " << i + 1;
            EXPECT_EQ(d.CaptionFreq(i)->font().pixelSize(), c.fontPixels);
            EXPECT_EQ(d.CaptionFreq(i)->parentWidget(), &d);
        }
        for (int i = 0; i < hg::kLevelCaptionCount; ++i) {
            ASSERT_NE(d.CaptionLevel(i), nullptr);
            EXPECT_EQ(d.CaptionLevel(i)->pos(), QPoint(3, 2)) << "level " << i + 1;
        }
        // A second layout reuses the labels.
        QLabel *first = d.CaptionFreq(0);
        d.LayoutCaptions();
        EXPECT_EQ(d.CaptionFreq(0), first);
    }
}

TEST(Spectrum3DComponent, WithoutTextThePanelFillsTheDisplayAndNoCaptionExists)
{
    TSpectrum3D d;
    d.DoNotInitialize = true;
    d.SetShowText(false);
    d.resize(514, 297);
    d.LayoutCaptions();
    // The display's client area, inside its one-pixel bevel.
    EXPECT_EQ(d.PanelSpectrum->geometry(), QRect(1, 1, 512, 295));
    for (int i = 0; i < hg::kFreqCaptionCount; ++i)
        EXPECT_EQ(d.CaptionFreq(i), nullptr);
    for (int i = 0; i < hg::kLevelCaptionCount; ++i)
        EXPECT_EQ(d.CaptionLevel(i), nullptr);
    // It keeps filling the display when that changes size.
    d.show();
    d.resize(400, 200);
    ASSERT_TRUE(WaitUntil([&] { return d.PanelSpectrum->geometry() == QRect(1, 1, 398, 198); }))
        << d.PanelSpectrum->width() << " x " << d.PanelSpectrum->height();
}

TEST(Spectrum3DComponent, DoNotInitializeOnlySetsTheColours)
{
    TBoxRecorder boxes;
    TSpectrum3D d;
    d.DoNotInitialize = true;
    d.SetSpectrumBackColor(0x000080FFu); // orange: r 0xFF, g 0x80
    d.SetPanel3DColor(0x00FF0000u);
    d.resize(514, 297);
    EXPECT_FALSE(d.D3DInit());
    EXPECT_EQ(d.Color(), 0x000080FFu);
    EXPECT_EQ(d.Panel3DColor(), 0x000080FFu);
    EXPECT_EQ(d.palette().color(QPalette::Window), QColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(d.Renderer, nullptr);
    EXPECT_EQ(d.RenderThread, nullptr);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, FreeAndStopWithNothingToFreeDoNothing)
{
    TBoxRecorder boxes;
    TSpectrum3D d;
    d.StopRendering();
    d.D3DFree();
    d.D3DFree();
    d.Close();
    EXPECT_EQ(d.Renderer, nullptr);
    EXPECT_EQ(d.RenderThread, nullptr);
    EXPECT_TRUE(boxes.boxes.empty());
    // A frame without a renderer does nothing and raises nothing.
    int before = 0;
    d.SetBeforeD3DRender([&](QObject *) { ++before; });
    d.Render();
    EXPECT_EQ(before, 0);
    EXPECT_FALSE(d.IsRendering());
}

TEST(Spectrum3DComponent, TheFirstSizeBuildsADeviceAndStartsRendering)
{
    TBoxRecorder boxes;
    TFrameCounter frames;
    auto d = ShowDisplay(514, 297, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_NE(d->Renderer, nullptr) << (boxes.boxes.empty() ? "" : boxes.Texts()[0]);
    ASSERT_NE(d->RenderThread, nullptr);
    EXPECT_NE(d->GridBuffer(), 0u);
    EXPECT_NE(d->FFTBuffer(), 0u);
    EXPECT_NE(d->StagingBlock(), nullptr);
    EXPECT_FALSE(d->Panel3DPictureVisible());
    EXPECT_EQ(d->Renderer->Viewport().Width, 457.0f);
    EXPECT_EQ(d->Renderer->Viewport().Height, 277.0f);
    EXPECT_TRUE(frames.WaitForMore());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, AResizeWhileRunningBuildsADeviceOfTheNewSize)
{
    TBoxRecorder boxes;
    TFrameCounter frames;
    auto d = ShowDisplay(514, 297, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_TRUE(frames.WaitForMore());
    d->resize(600, 320);
    ASSERT_NE(d->Renderer, nullptr);
    ASSERT_NE(d->RenderThread, nullptr);
    EXPECT_TRUE(d->RenderThread->isRunning());
    EXPECT_EQ(d->Renderer->Viewport().Width, 543.0f);
    EXPECT_EQ(d->Renderer->Viewport().Height, 300.0f);
    EXPECT_EQ(d->PanelSpectrum->geometry(), QRect(56, 1, 543, 300));
    EXPECT_EQ(d->CaptionFreq(0)->y(), 301);
    EXPECT_TRUE(frames.WaitForMore());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, ASecondInitFreesTheFirstDevice)
{
    TBoxRecorder boxes;
    TFrameCounter frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_NE(d->RenderThread, nullptr);
    EXPECT_TRUE(d->D3DInit());
    EXPECT_TRUE(d->RenderThread->isRunning());
    EXPECT_TRUE(frames.WaitForMore());
    // StartRendering on a running display replaces its thread.
    d->StartRendering();
    EXPECT_TRUE(frames.WaitForMore());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, CloseLeavesNoChannelNoDeviceAndIdentityMatrices)
{
    TBoxRecorder boxes;
    TFrameCounter frames;
    auto d = ShowDisplay(514, 297, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    d->Channel = 7;
    d->Tag = 12;
    ASSERT_TRUE(frames.WaitForMore());
    d->StopRendering();
    EXPECT_FALSE(IsIdentity(d->WorldMatrix())) << "a frame sets the spectrum's world matrix";
    d->StartRendering();
    d->Close();
    EXPECT_EQ(d->Channel.load(), 0u);
    EXPECT_EQ(d->RenderThread, nullptr);
    EXPECT_EQ(d->Renderer, nullptr);
    EXPECT_EQ(d->GridBuffer(), 0u);
    EXPECT_EQ(d->FFTBuffer(), 0u);
    EXPECT_EQ(d->StagingBlock(), nullptr);
    EXPECT_TRUE(IsIdentity(d->WorldMatrix()));
    EXPECT_TRUE(IsIdentity(d->RotSampleMatrix()));
    EXPECT_EQ(d->SampleAmplitudeValue(), 1.0f);
    EXPECT_EQ(d->Tag, 0);
    EXPECT_FALSE(d->IsRendering());
    // A later resize builds a device again; with channel 0 and no source
    // the curve is flat at height 0.
    d->resize(500, 290);
    ASSERT_NE(d->RenderThread, nullptr);
    ASSERT_TRUE(frames.WaitForMore());
    d->StopRendering();
    ASSERT_NE(d->StagingBlock(), nullptr);
    for (std::size_t i = 0; i < hg::kSpectrumVertexCount; ++i)
        ASSERT_EQ(d->StagingBlock()[i].Position.y, 0.0f) << i;
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, ARendererThatCannotBeMadeLeavesNoDevice)
{
    TBoxRecorder boxes;
    // No multisample count of 0 exists: the renderer cannot be made.
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { disp.SetAntialiasing(0); });
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: Creating D3D Device!\r\rTSpectrum3D.InitD3D()"});
    for (const TBoxRecorder::TBox &b : boxes.boxes)
        EXPECT_EQ(b.kind, QMessageBox::Warning);
    EXPECT_EQ(d->Renderer, nullptr);
    EXPECT_EQ(d->RenderThread, nullptr);
    EXPECT_EQ(d->GridBuffer(), 0u);
    EXPECT_TRUE(d->Panel3DPictureVisible()) << "only a successful D3DInit hides the picture";
    // With a level that exists the next rebuild succeeds.
    d->SetAntialiasing(4);
    boxes.boxes.clear();
    d->D3DReInitialize();
    EXPECT_NE(d->RenderThread, nullptr);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Spectrum3DComponent, StagingBlockFailureLeavesTheDisplayPartial)
{
    for (const bool suppress : {false, true}) {
        SCOPED_TRACE(suppress ? "suppressed" : "shown");
        TBoxRecorder boxes;
        auto d = ShowDisplay(514, 297, [&](TSpectrum3D &disp) { disp.SetSuppressErrors(suppress); });
        ASSERT_NE(d->RenderThread, nullptr);
        TSpectrum3DFaults::StagingAlloc = 1;
        d->D3DReInitialize();
        EXPECT_EQ(TSpectrum3DFaults::StagingAlloc.load(), 0);
        if (suppress) {
            EXPECT_TRUE(boxes.boxes.empty());
        } else {
            EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: Exception: PFFTVertexes GetMem: 57316"});
        }
        for (const TBoxRecorder::TBox &b : boxes.boxes)
            EXPECT_EQ(b.kind, QMessageBox::Warning);
        // Partial: renderer and grid, no staging block, no spectrum buffer,
        // no thread.
        EXPECT_NE(d->Renderer, nullptr);
        EXPECT_NE(d->GridBuffer(), 0u);
        EXPECT_EQ(d->StagingBlock(), nullptr);
        EXPECT_EQ(d->FFTBuffer(), 0u);
        EXPECT_EQ(d->RenderThread, nullptr);
        // The next rebuild is whole again.
        d->D3DReInitialize();
        EXPECT_NE(d->RenderThread, nullptr);
        EXPECT_NE(d->StagingBlock(), nullptr);
    }
}

struct TGridFault {
    std::atomic<int> *fault;
    const char *box;
    bool bufferMade;
};

TEST(Spectrum3DComponent, GridFailuresShowTheirBoxAndTheDisplayRunsOn)
{
    const TGridFault cases[] = {
        {&TSpectrum3DFaults::GridStagingAlloc, "Error: GetMem: 728", false},
        {&TSpectrum3DFaults::GridWrite, "Error: Exception: Init Grid vertexes.", true},
        {&TSpectrum3DFaults::GridCreate, "Error: CreateBuffer() grid vertexes.", false},
    };
    for (const TGridFault &c : cases) {
        SCOPED_TRACE(c.box);
        TBoxRecorder boxes;
        TFrameCounter frames;
        auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
        ASSERT_NE(d->RenderThread, nullptr);
        c.fault->store(1);
        d->D3DReInitialize();
        EXPECT_EQ(c.fault->load(), 0);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(d->GridBuffer() != 0, c.bufferMade);
        ASSERT_NE(d->RenderThread, nullptr) << "D3DInit goes on";
        EXPECT_TRUE(frames.WaitForMore());
        d->StopRendering();
        if (c.bufferMade) {
            // A failed write leaves zeros, never stray memory.
            const std::vector<TColorVertex> grid = ReadVertexBuffer(*d, d->GridBuffer(), 26);
            ASSERT_EQ(grid.size(), 26u);
            for (const TColorVertex &v : grid)
                EXPECT_EQ(v.Color.a, 0.0f);
        }
    }
}

TEST(Spectrum3DComponent, ASpectrumBufferThatCannotBeMadeIsMadeByALaterFrame)
{
    TBoxRecorder boxes;
    TFrameCounter frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    d->StopRendering();
    TSpectrum3DFaults::FFTCreate = 1;
    d->D3DReInitialize();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: CreateBuffer() FFT vertexes."});
    ASSERT_NE(d->RenderThread, nullptr);
    EXPECT_TRUE(frames.WaitForMore());
    d->StopRendering();
    EXPECT_NE(d->FFTBuffer(), 0u);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(Spectrum3DComponent, TheGridBufferHoldsTheChosenGrid)
{
    for (const bool gradient : {false, true}) {
        SCOPED_TRACE(gradient ? "gradient" : "plain");
        auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { disp.SetGradientGrid(gradient); });
        ASSERT_NE(d->Renderer, nullptr);
        d->StopRendering();
        const std::vector<TColorVertex> grid = ReadVertexBuffer(*d, d->GridBuffer(), 26);
        ASSERT_EQ(grid.size(), 26u) << "the buffer is 728 bytes";
        const hg::TGridVertexes &expected = hg::GridVertexesFor(gradient);
        EXPECT_EQ(std::memcmp(grid.data(), expected.data(), 728), 0);
    }
}

TEST(Spectrum3DComponent, ClosingTheNativeWindowGivesUpTheDeviceFirst)
{
    // Closing the top-level window (the close box) destroys the native
    // window tree, the drawing surface with it, while every widget still
    // exists: a frame presenting into that surface crashed the program.
    TFrameCounter frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_TRUE(frames.WaitForMore());
    QWindow *top = d->window()->windowHandle();
    ASSERT_NE(top, nullptr);
    top->close();
    EXPECT_EQ(d->RenderThread, nullptr);
    EXPECT_EQ(d->Renderer, nullptr);
    const int after = frames.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames.Count(), after);
}

TEST(Spectrum3DComponent, DestroyingARunningDisplayCollectsItsThread)
{
    TFrameCounter frames;
    auto d = ShowDisplay(300, 200, [&](TSpectrum3D &disp) { frames.Attach(disp); });
    ASSERT_TRUE(frames.WaitForMore());
    d.reset();
    const int after = frames.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames.Count(), after);
}

} // namespace
