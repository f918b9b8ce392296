// The main window when the sound server changes under it: a source that goes
// away after the device listing, and the server dying during a capture. Its
// own process, because the capture library lists the devices once per
// process and because the server is killed (and started again at the end).
#include "WindowTestApp.h"

#include "AutoSizeLabel.h"
#include "Main.h"
#include "hg_test_signals.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <memory>

namespace sig = hg::signals;

namespace {

void Pick(QComboBox *box, int index)
{
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

bool Feed(int input, const std::vector<float> &frames)
{
    auto done = std::async(std::launch::async, [&] { return sig::write_to_fifo(input, frames); });
    hgtest::ProcessUntil([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000);
    return done.get();
}

TEST(MainWindowServer, ASourceThatVanishedAfterTheListingGivesTheInitialisationError)
{
    ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
    const int module =
        sig::load_module("module-null-sink sink_name=hg_vanish sink_properties=device.description=Vanishing");
    ASSERT_GE(module, 0);
    auto form = std::make_unique<TFormMain>(); // the first listing of this process
    QStringList errors;
    form->ShowError = [&](const QString &text) { errors << text; };
    const int index = form->ComboBoxAudioDevice1->findText(QStringLiteral("Monitor of Vanishing"));
    ASSERT_TRUE(sig::unload_module(module));
    ASSERT_GE(index, 0);
    EXPECT_EQ(form->ComboBoxAudioDevice2->findText(QStringLiteral("Monitor of Vanishing")), index);

    Pick(form->ComboBoxAudioDevice1, index);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("Error while initializing input device: Monitor of Vanishing\r\n"
                                        "BASS error code: %1")
                             .arg(BASS_ERROR_DEVICE));
    EXPECT_EQ(form->RecordingChannel1, 0u);
    EXPECT_EQ(form->LastRecordDevice1, -111);
    // The entry stays in the lists (they are not refreshed) and the other
    // sources still work.
    EXPECT_EQ(form->ComboBoxAudioDevice1->itemText(index), QStringLiteral("Monitor of Vanishing"));
    Pick(form->ComboBoxAudioDevice1, form->ComboBoxAudioDevice1->findText(QStringLiteral("Hushgauge Test Input 1")));
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(BASS_ChannelIsActive(form->RecordingChannel1), BASS_ACTIVE_PLAYING);
}

TEST(MainWindowServer, KillingTheServerMidCaptureLeavesTheWindowRunningWithHeldValues)
{
    ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
    auto form = std::make_unique<TFormMain>();
    QStringList errors;
    form->ShowError = [&](const QString &text) { errors << text; };
    form->show();
    Pick(form->ComboBoxAudioDevice1, form->ComboBoxAudioDevice1->findText(QStringLiteral("Hushgauge Test Input 1")));
    Pick(form->ComboBoxAudioDevice2, form->ComboBoxAudioDevice2->findText(QStringLiteral("Hushgauge Test Input 2")));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    ASSERT_TRUE(Feed(1, sig::sine(1000.0, 0.5, 48000)));
    ASSERT_TRUE(Feed(2, sig::sine(1000.0, 0.05, 48000)));
    ASSERT_TRUE(hgtest::ProcessUntil(
        [&] {
            return form->LabelPeak1->text().startsWith(QStringLiteral("Peak: 50.0000%")) &&
                   form->LabelPeak2->text().startsWith(QStringLiteral("Peak: 5.0000%"));
        },
        5000));
    hgtest::ProcessFor(100);
    const QString held1 = form->LabelPeak1->text();
    const QString held2 = form->LabelPeak2->text();

    ASSERT_TRUE(sig::kill_server());
    EXPECT_TRUE(hgtest::ProcessUntil(
        [&] {
            return BASS_ChannelIsActive(form->RecordingChannel1) == BASS_ACTIVE_STOPPED &&
                   BASS_ChannelIsActive(form->RecordingChannel2) == BASS_ACTIVE_STOPPED;
        },
        5000));
    // The window goes on: the timer still ticks, the held values stay.
    form->LabelPeak1->setText(QStringLiteral("ticking?"));
    EXPECT_TRUE(hgtest::ProcessUntil([&] { return form->LabelPeak1->text() == held1; }, 2000));
    hgtest::ProcessFor(200);
    EXPECT_EQ(form->LabelPeak1->text(), held1);
    EXPECT_EQ(form->LabelPeak2->text(), held2);
    EXPECT_TRUE(form->LabelLeftBetter->isHidden());
    EXPECT_FALSE(form->LabelRightBetter->isHidden());
    EXPECT_TRUE(form->isVisible());
    // A new choice now fails with a box instead of anything worse.
    Pick(form->ComboBoxAudioDevice1, 0);
    EXPECT_EQ(errors.size(), 1);
    if (!errors.isEmpty()) {
        EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Error while initializing input device: ")))
            << errors[0].toStdString();
    }
    form.reset(); // BASS_Free with the server gone

    // A killed server leaves its pipe sources' fifos behind, and a new one
    // refuses to make them again; they go first.
    std::remove(sig::fifo_path(1).c_str());
    std::remove(sig::fifo_path(2).c_str());
    EXPECT_TRUE(sig::start_server());
}

} // namespace
