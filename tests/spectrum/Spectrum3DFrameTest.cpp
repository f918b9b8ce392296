// One frame's worth of the display's pure work, end to end through the
// stand-in libraries: fetch, convert, window, matrices, caption texts and
// places. It must give the expected curve and allocate nothing.
#include "AllocationCounter.h"
#include "Spectrum3DCaptions.h"
#include "Spectrum3DData.h"
#include "Spectrum3DMatrices.h"
#include "Spectrum3DVertexes.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace hg {
namespace {

TEST(Spectrum3DFrame, AFrameAllocatesNothing)
{
    TAudioBinding lib;
    const std::string folder = std::string(HG_FIXTURES_DIR) + "/full";
    ASSERT_TRUE(lib.LoadBASS(folder));
    ASSERT_TRUE(lib.LoadBASSmix(folder));
    ASSERT_TRUE(lib.LoadBASSWASAPI(folder));

    // Everything a frame keeps lives outside it: the staging block belongs
    // to the display, the value block is the frame's own local array.
    static std::array<TColorVertex, kSpectrumVertexCount> staging;
    static std::array<float, kValueBlockSize> block;
    TFreqCaptionTexts freq;
    TLevelCaptionTexts level;
    const TNumberSeparators sep{",", "\u202F"};
    const THostFFTSources host;

    const std::uint64_t before = test::ThreadAllocations();
    int32_t sum = 0;
    for (int frame = 0; frame < 50; ++frame) {
        const double zoom = 1.0 + frame % 5, scroll = (frame % 3) / 2.0, amplitude = 1.0 + frame % 4;
        const DWORD channel = frame % 2 ? 3u : 70000u; // device add-on and capture library paths
        const TFetchResult r = FetchFFTData(lib, host, channel, BASS_DATA_FFT4096, block);
        if (r.outcome != TFetchOutcome::NoNewData)
            sum += ConvertFFTValues(block, amplitude, staging);
        const TVisibleWindow w = VisibleWindow(zoom, scroll);
        const TViewMatrices grid = GridMatrices();
        const TViewMatrices curve = SpectrumMatrices(zoom, scroll);
        FrequencyCaptionTexts(CaptionSampleRate(lib, 0, channel), zoom, scroll, sep, freq);
        LevelCaptionTexts(amplitude, sep, level);
        for (int i = 0; i < kFreqCaptionCount; ++i)
            sum += FrequencyCaptionLeft(i, 457, 30, 56);
        for (int i = 0; i < kLevelCaptionCount; ++i)
            sum += LevelCaptionTop(i, 277, 8, amplitude);
        sum += w.count + static_cast<int32_t>(grid.World.m[0][0] + curve.World.m[0][0]);
    }
    const std::uint64_t allocations = test::ThreadAllocations() - before;
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(sum, 0);

    // The last frame read the device add-on's fill (1.0) at amplitude
    // 1 + 49 % 4 = 2.
    EXPECT_FLOAT_EQ(staging[0].Position.y, 2.055f);
    EXPECT_EQ(std::string(level[0].view()), "-6,02 dB");

    lib.UnloadBASSmix();
    lib.UnloadBASSWASAPI();
    lib.UnloadBASS();
}

} // namespace
} // namespace hg
