// The capture fuzz target's seed corpus and regression inputs replayed
// against a live channel of the private sound server (label pulse), and a
// check that the fuzzed channel really captures what its feeder writes.
#include "fuzz_checks.h"
#include "replay.h"

#include "hushcapture.h"

#include <chrono>
#include <thread>

namespace hgfuzz {
namespace {

TEST(CaptureFuzzSetup, LiveChannelCapturesTheFedSignal)
{
    ASSERT_EQ(StartCaptureForFuzzing(), "");
    const DWORD live = FuzzedLiveChannel();
    ASSERT_NE(live, 0u);
    DWORD held = 0;
    for (int i = 0; i < 200 && held == 0; ++i) {
        held = BASS_ChannelGetData(live, nullptr, BASS_DATA_AVAILABLE);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(held, static_cast<DWORD>(-1));
    EXPECT_GT(held, 0u) << "the feeder's sine never arrived: the fuzz target would only read an empty ring";
}

class CaptureGetDataReplay : public testing::TestWithParam<ReplayInput> {};

TEST_P(CaptureGetDataReplay, AnswersWithinTheRequest)
{
    ASSERT_EQ(StartCaptureForFuzzing(), "");
    const std::vector<std::uint8_t> input = ReadInput(GetParam().path);
    EXPECT_EQ(CheckCaptureGetDataInput(input.data(), input.size()), "") << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Inputs, CaptureGetDataReplay, testing::ValuesIn(ReplayInputs("capture_getdata")), ReplayName);

} // namespace
} // namespace hgfuzz
