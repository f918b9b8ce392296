// Heavy use while everything runs: hundreds of device choices on both
// inputs, hundreds of display rebuilds, and the window closed under running
// captures and displays. After each the readouts are still right and no
// thread or descriptor is left over.
#include "FaultRig.h"

#include "AutoSizeLabel.h"
#include "hg_test_signals.h"

#include <gtest/gtest.h>

namespace sig = hg::signals;
using namespace hgfault;

namespace {

class Churn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
        WarmUp();
        before = SampleResources();
        feed1 = std::make_unique<TFeeder>(sig::fifo_path(1), kSignal1);
        feed2 = std::make_unique<TFeeder>(sig::fifo_path(2), kSignal2);
        rig = std::make_unique<TRig>();
        rig->Choose(1, kIn1);
        rig->Choose(2, kIn2);
        ASSERT_TRUE(rig->errors.isEmpty()) << rig->errors.join('\n').toStdString();
        ASSERT_EQ(rig->WaitReadoutsRight(), "");
    }
    void TearDown() override
    {
        rig.reset();
        feed1.reset();
        feed2.reset();
        EXPECT_EQ(WaitForResources(before), "") << "after the window and displays are gone";
    }
    TResources before;
    std::unique_ptr<TFeeder> feed1, feed2;
    std::unique_ptr<TRig> rig;
};

TEST_F(Churn, FiveHundredAlternatingChoicesOnEachInputWhileBothDisplaysRender)
{
    const TResources running = SampleResources();
    const int in[2] = {rig->Index(kIn1), rig->Index(kIn2)};
    const int monitor[2] = {rig->Index(kOut1Monitor), rig->Index(kOut2Monitor)};
    ASSERT_GE(monitor[0], 0);
    ASSERT_GE(monitor[1], 0);
    // Each input goes back and forth between its pipe source and a monitor;
    // the 500th choice is the pipe source again.
    for (int i = 0; i < 500; ++i) {
        for (int input = 1; input <= 2; ++input)
            rig->Choose(input, i % 2 == 0 ? monitor[input - 1] : in[input - 1]);
        ProcessFor(i % 50 == 0 ? 30 : 0); // frames and the window's timer run in between
        ASSERT_TRUE(rig->errors.isEmpty()) << "choice " << i << ": " << rig->errors.join('\n').toStdString();
    }
    EXPECT_EQ(BASS_ChannelIsActive(rig->form->RecordingChannel1), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelIsActive(rig->form->RecordingChannel2), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(rig->WaitReadoutsRight(), "");
    EXPECT_EQ(rig->WaitDisplaysAdvance(), "");
    EXPECT_TRUE(rig->displayBoxes.empty());
    // Every released capture took its thread and descriptors with it.
    EXPECT_EQ(WaitForResources(running), "") << "with the window still running";
}

TEST_F(Churn, TwoHundredRebuildsOfARenderingDisplay)
{
    const TResources running = SampleResources();
    for (int i = 0; i < 200; ++i) {
        rig->display1->D3DReInitialize();
        ProcessFor(i % 20 == 0 ? 30 : 0);
        ASSERT_TRUE(rig->displayBoxes.empty()) << "rebuild " << i << ": " << rig->displayBoxes.front().toStdString();
    }
    EXPECT_TRUE(rig->display1->IsRendering());
    EXPECT_EQ(rig->WaitDisplaysAdvance(), "");
    EXPECT_EQ(rig->WaitReadoutsRight(), "");
    EXPECT_EQ(BASS_ChannelIsActive(rig->form->RecordingChannel1), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(WaitForResources(running), "") << "every replaced render thread and surface is gone";
}

TEST_F(Churn, TheWindowClosedWhileItCapturesAndBothDisplaysRender)
{
    const HRECORD c1 = rig->form->RecordingChannel1, c2 = rig->form->RecordingChannel2;
    rig->CloseWindow();
    // The captures and both render threads ended with the window.
    EXPECT_EQ(BASS_ChannelIsActive(c1), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelIsActive(c2), BASS_ACTIVE_STOPPED);
    const std::uint64_t last1 = rig->curve1->frames.load(), last2 = rig->curve2->frames.load();
    ProcessFor(200);
    EXPECT_EQ(rig->curve1->frames.load(), last1) << "no frame after the window is gone";
    EXPECT_EQ(rig->curve2->frames.load(), last2);
    EXPECT_TRUE(rig->displayBoxes.empty());

    // A new window in the same process captures and draws again.
    rig->OpenWindow();
    rig->Choose(1, kIn1);
    rig->Choose(2, kIn2);
    EXPECT_TRUE(rig->errors.isEmpty()) << rig->errors.join('\n').toStdString();
    EXPECT_EQ(rig->WaitReadoutsRight(), "");
}

} // namespace
