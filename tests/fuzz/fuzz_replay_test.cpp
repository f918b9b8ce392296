// The fuzz targets' seed corpora and every input a fuzz run found a fault
// with, replayed through the targets' own checks in the ordinary builds
// (normal, address + undefined, thread). Needs no display and no server.
#include "fuzz_checks.h"
#include "replay.h"

namespace hgfuzz {
namespace {

class FixedFormatReplay : public testing::TestWithParam<ReplayInput> {};

TEST_P(FixedFormatReplay, ParsesBackWithinBound)
{
    const std::vector<std::uint8_t> input = ReadInput(GetParam().path);
    EXPECT_EQ(CheckFixedFormatInput(input.data(), input.size()), "") << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FixedFormatReplay, testing::ValuesIn(ReplayInputs("fixed_format")), ReplayName);

class SettingsReplay : public testing::TestWithParam<ReplayInput> {};

TEST_P(SettingsReplay, GivesUsablePPIAndAgreesWithReference)
{
    const std::vector<std::uint8_t> input = ReadInput(GetParam().path);
    EXPECT_EQ(CheckSettingsInput(input.data(), input.size()), "") << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Inputs, SettingsReplay, testing::ValuesIn(ReplayInputs("settings")), ReplayName);

class CaptionFormatReplay : public testing::TestWithParam<ReplayInput> {};

TEST_P(CaptionFormatReplay, FitsAndParsesBackWithinRounding)
{
    const std::vector<std::uint8_t> input = ReadInput(GetParam().path);
    EXPECT_EQ(CheckCaptionFormatInput(input.data(), input.size()), "") << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Inputs, CaptionFormatReplay, testing::ValuesIn(ReplayInputs("caption_format")), ReplayName);

} // namespace
} // namespace hgfuzz
