// A source of the test's own unloaded from the server while input 1 captures
// from it: input 1's channel is lost and its display lies flat, input 2 and
// its display go on untouched, and once the source is back, choosing it
// again captures again. Its own process, since the capture library lists
// the devices once per process and the list must contain the test's source.
#include "FaultRig.h"

#include "AutoSizeLabel.h"
#include "hg_test_signals.h"

#include <gtest/gtest.h>

#include <string>

namespace sig = hg::signals;
using namespace hgfault;

namespace {

const QString kFaultInput = QStringLiteral("Hushgauge Fault Input");

std::string FaultFifo() { return sig::pulse_dir() + "/fault.fifo"; }

// pactl joins its arguments with spaces; the module wants the property list
// in single quotes, the description in double quotes.
int LoadFaultSource()
{
    return sig::load_module("module-pipe-source source_name=hg_fault file=" + FaultFifo() +
                            " format=float32le rate=48000 channels=2 "
                            R"("source_properties='device.description=\"Hushgauge Fault Input\"'")");
}

TEST(UnloadFault, AnUnloadedSourceLosesOnlyItsInputAndCapturesAgainOnceLoaded)
{
    ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
    // Before the process's first device listing (in WarmUp).
    int module = LoadFaultSource();
    ASSERT_GE(module, 0);
    WarmUp();
    const TResources before = SampleResources();
    {
        TFeeder feed1(FaultFifo(), kSignal1);
        TFeeder feed2(sig::fifo_path(2), kSignal2);
        TRig rig;
        const int entry = rig.Index(kFaultInput);
        ASSERT_GE(entry, 0);
        rig.Choose(1, entry);
        rig.Choose(2, kIn2);
        ASSERT_TRUE(rig.errors.isEmpty()) << rig.errors.join('\n').toStdString();
        ASSERT_EQ(rig.WaitReadoutsRight(), "");
        const HRECORD lost = rig.form->RecordingChannel1;
        const QString held1 = rig.form->LabelPeak1->text();

        ASSERT_TRUE(sig::unload_module(module));
        module = -1;
        EXPECT_TRUE(ProcessUntil([&] { return BASS_ChannelIsActive(lost) == BASS_ACTIVE_STOPPED; }, 5000));
        EXPECT_TRUE(ProcessUntil([&] { return rig.curve1->peakHeight.load() == 0.0f; }, 3000))
            << "display 1 lies flat: " << rig.curve1->peakHeight.load();
        // Input 2 is untouched: still capturing, its display still right.
        EXPECT_EQ(BASS_ChannelIsActive(rig.form->RecordingChannel2), BASS_ACTIVE_PLAYING);
        EXPECT_EQ(rig.WaitDisplaysAdvance(), "");
        EXPECT_EQ(rig.curve2->peakVertex.load(), ExpectedVertex(kSignal2));
        EXPECT_TRUE(rig.WindowTicks());
        EXPECT_EQ(rig.form->LabelPeak1->text(), held1) << "the lost input keeps its held value";
        EXPECT_TRUE(rig.form->LabelPeak2->text().startsWith(QLatin1String(kSignal2.peakText)));

        // Chosen again while it is gone: the initialisation error, nothing worse.
        rig.Choose(1, entry);
        ASSERT_EQ(rig.errors.size(), 1);
        EXPECT_TRUE(rig.errors[0].startsWith(QStringLiteral("Error while initializing input device: Hushgauge Fault Input")))
            << rig.errors[0].toStdString();

        module = LoadFaultSource();
        ASSERT_GE(module, 0);
        // The lists are not refreshed: the same entry opens the new source.
        rig.Choose(1, entry);
        EXPECT_EQ(rig.errors.size(), 1) << rig.errors.join('\n').toStdString();
        EXPECT_NE(rig.form->RecordingChannel1, lost);
        EXPECT_EQ(rig.WaitReadoutsRight(), "") << "after the source came back";
        EXPECT_TRUE(rig.displayBoxes.empty());
    }
    EXPECT_EQ(WaitForResources(before), "") << "after the window and displays are gone";
    if (module >= 0)
        sig::unload_module(module);
}

} // namespace
