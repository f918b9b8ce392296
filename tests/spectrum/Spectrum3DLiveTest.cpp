// The display's real data path: the capture library bound at run time, a
// capture of the private sound server's test input fed with a sine, and a
// display whose Channel is that capture shows its spectrum (the curve's
// peak at the sine's vertex), on the private X display with Mesa.
#include "DisplayTestSupport.h"

#include "Spectrum3DBinding.h"
#include "hg_test_signals.h"
#include "hushcapture.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

using namespace hgtest;
using hg::TSpectrum3D;
namespace sig = hg::signals;

namespace {

// The curve's highest vertex, read by AfterD3DRender on the render thread
// (the staging block belongs to that thread while it runs).
struct TCurvePeak {
    std::shared_ptr<std::atomic<int>> vertex = std::make_shared<std::atomic<int>>(-1);
    std::shared_ptr<std::atomic<float>> height = std::make_shared<std::atomic<float>>(-1.0f);
    void Attach(TSpectrum3D &d)
    {
        auto v = vertex;
        auto h = height;
        TSpectrum3D *display = &d;
        d.SetAfterD3DRender([v, h, display](QObject *) {
            const TColorVertex *s = display->StagingBlock();
            int best = 0;
            for (int i = 1; i < static_cast<int>(hg::kSpectrumVertexCount); ++i)
                if (s[i].Position.y > s[best].Position.y)
                    best = i;
            v->store(best);
            h->store(s[best].Position.y);
        });
    }
};

TEST(Spectrum3DLive, ADisplayShowsTheSpectrumOfALiveCapture)
{
    ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
    hg::Spectrum3DUnitStartup(HG_CAPTURE_LIBRARY_DIR);
    ASSERT_TRUE(hg::Spectrum3DBinding().BASSLoaded);

    BASS_Init(0, 44100, 0, nullptr, nullptr);
    int device = -1;
    BASS_DEVICEINFO info{};
    for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i)
        if (std::strcmp(info.name, "Hushgauge Test Input 1") == 0)
            device = static_cast<int>(i);
    ASSERT_GE(device, 0);
    ASSERT_TRUE(BASS_RecordInit(device)) << BASS_ErrorGetCode();
    const HRECORD channel = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    ASSERT_NE(channel, 0u) << BASS_ErrorGetCode();

    // A sine of 0.5 centred on bin 512 of the 4096-point spectrum (8 frames
    // a period): value 512 reads 0.5, so vertex 511 rises to
    // 0.5^(1/4) x 1.0275.
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        const std::vector<float> tone = sig::sine(sig::bin_frequency(512, 4096), 0.5, 4800);
        while (!stop.load())
            sig::write_to_fifo(1, tone, 500);
    });

    TBoxRecorder boxes;
    TCurvePeak peak;
    auto d = ShowDisplay(514, 297, [&](TSpectrum3D &disp) { peak.Attach(disp); });
    ASSERT_NE(d->RenderThread, nullptr);
    d->Channel = channel;
    const float expected = static_cast<float>(std::sqrt(std::sqrt(0.5)) * 1.0275);
    EXPECT_TRUE(WaitUntil([&] { return peak.vertex->load() == 511 && std::fabs(*peak.height - expected) < 0.01f; },
                          10000))
        << "peak at vertex " << peak.vertex->load() << ", height " << peak.height->load();
    // The sample rate of the captions comes from the channel.
    EXPECT_TRUE(WaitUntil([&] { return d->CaptionFreq(0)->text() == "24 KHz"; }));

    // Channel 0 is not active: the curve lies flat.
    d->Channel = 0;
    EXPECT_TRUE(WaitUntil([&] { return peak.height->load() == 0.0f; }));
    EXPECT_TRUE(boxes.boxes.empty());

    stop = true;
    feeder.join();
    sig::drain_fifo(1);
    d.reset();
    BASS_Free();
    hg::Spectrum3DUnitShutdown();
}

} // namespace
