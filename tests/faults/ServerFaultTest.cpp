// The sound server stopped while both inputs capture and both displays
// render, and started again: the window and the displays go on, and
// choosing the devices again captures again. Its own process, since the
// capture library lists the devices once per process.
#include "FaultRig.h"

#include "AutoSizeLabel.h"
#include "hg_test_signals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace sig = hg::signals;
using namespace hgfault;

namespace {

struct TServerStop {
    const char *name;
    bool (*stop)();
};

bool StopGracefully()
{
    const char *ctl = std::getenv("HG_PULSE_CTL");
    return ctl != nullptr && std::system((std::string("'") + ctl + "' stop >/dev/null 2>&1").c_str()) == 0;
}

const TServerStop kStops[] = {
    {"Killed", &sig::kill_server},
    {"StoppedByItsScript", &StopGracefully},
};

class ServerFault : public ::testing::TestWithParam<TServerStop> {};

TEST_P(ServerFault, WindowAndDisplaysGoOnAndCaptureAgainOnceTheServerIsBack)
{
    ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
    WarmUp();
    const TResources before = SampleResources();
    {
        TFeeder feed1(sig::fifo_path(1), kSignal1);
        TFeeder feed2(sig::fifo_path(2), kSignal2);
        TRig rig;
        rig.Choose(1, kIn1);
        rig.Choose(2, kIn2);
        ASSERT_TRUE(rig.errors.isEmpty()) << rig.errors.join('\n').toStdString();
        ASSERT_EQ(rig.WaitReadoutsRight(), "");
        const QString held1 = rig.form->LabelPeak1->text();
        const QString held2 = rig.form->LabelPeak2->text();

        ASSERT_TRUE(GetParam().stop());
        EXPECT_TRUE(ProcessUntil(
            [&] {
                return BASS_ChannelIsActive(rig.form->RecordingChannel1) == BASS_ACTIVE_STOPPED &&
                       BASS_ChannelIsActive(rig.form->RecordingChannel2) == BASS_ACTIVE_STOPPED;
            },
            5000));
        // Both displays draw on, with a flat curve for a lost channel; the
        // window ticks on and keeps the held values.
        EXPECT_EQ(rig.WaitDisplaysAdvance(), "");
        EXPECT_TRUE(ProcessUntil([&] { return rig.curve1->peakHeight.load() == 0.0f && rig.curve2->peakHeight.load() == 0.0f; },
                                 3000))
            << rig.curve1->peakHeight.load() << " " << rig.curve2->peakHeight.load();
        EXPECT_TRUE(rig.WindowTicks());
        EXPECT_EQ(rig.form->LabelPeak1->text(), held1);
        EXPECT_EQ(rig.form->LabelPeak2->text(), held2);
        EXPECT_TRUE(rig.displayBoxes.empty());

        ASSERT_TRUE(sig::start_server());
        rig.Choose(1, kIn1);
        rig.Choose(2, kIn2);
        EXPECT_TRUE(rig.errors.isEmpty()) << rig.errors.join('\n').toStdString();
        EXPECT_EQ(BASS_ChannelIsActive(rig.form->RecordingChannel1), BASS_ACTIVE_PLAYING);
        EXPECT_EQ(BASS_ChannelIsActive(rig.form->RecordingChannel2), BASS_ACTIVE_PLAYING);
        EXPECT_EQ(rig.WaitReadoutsRight(), "") << "after the server came back";
        EXPECT_TRUE(rig.displayBoxes.empty());
    }
    EXPECT_EQ(WaitForResources(before), "") << "after the window and displays are gone";
}

INSTANTIATE_TEST_SUITE_P(Stops, ServerFault, ::testing::ValuesIn(kStops),
                         [](const ::testing::TestParamInfo<TServerStop> &i) { return std::string(i.param.name); });

} // namespace
