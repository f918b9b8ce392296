// End-to-end tests of the main window's capture and readout against the
// private sound server: known signals into the pipe sources, the device
// choice through the lists, and the readout, arrows and error boxes read
// back from the real widgets.
#include "WindowTestApp.h"

#include "AutoSizeLabel.h"
#include "Main.h"
#include "hg_test_signals.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace sig = hg::signals;

namespace {

// One second of a 1 kHz sine: at 48 kHz every 12th sample is a crest, so
// the peak is the amplitude itself.
std::vector<float> Sine(double amplitude)
{
    return sig::sine(1000.0, amplitude, 48000);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
        // The readouts are compared exactly: nothing an earlier test left in
        // the pipes may come first.
        sig::drain_fifo(1);
        sig::drain_fifo(2);
        form = std::make_unique<TFormMain>();
        form->ShowError = [this](const QString &text) { errors << text; };
        form->show();
        ASSERT_TRUE(hgtest::ProcessUntil([&] { return form->isVisible(); }, 2000));
    }

    int IndexOf(const QString &name) const { return form->ComboBoxAudioDevice1->findText(name); }

    // Picks entry `index` in Input `input`'s list, as the user does.
    void Pick(int input, int index)
    {
        QComboBox *box = input == 1 ? form->ComboBoxAudioDevice1 : form->ComboBoxAudioDevice2;
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    // Writes `frames` into pipe source `input` while the window runs.
    bool Feed(int input, const std::vector<float> &frames)
    {
        auto done = std::async(std::launch::async, [&] { return sig::write_to_fifo(input, frames); });
        hgtest::ProcessUntil([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                             15000);
        return done.get();
    }

    bool WaitForText(TAutoSizeLabel *label, const QString &prefix, int ms = 5000)
    {
        return hgtest::ProcessUntil([&] { return label->text().startsWith(prefix); }, ms);
    }

    // The held average in dB from a readout text ("... | Avg: -63.2 dB").
    static double AvgDb(const QString &text)
    {
        const int at = text.indexOf(QStringLiteral("Avg: "));
        return text.mid(at + 5).chopped(3).toDouble();
    }

    std::unique_ptr<TFormMain> form;
    QStringList errors;
};

TEST_F(CaptureTest, ReadoutOfTwoSinesPointsToTheQuieterAndResets)
{
    const QString in1 = QStringLiteral("Hushgauge Test Input 1");
    const QString in2 = QStringLiteral("Hushgauge Test Input 2");
    Pick(1, IndexOf(in1));
    Pick(2, IndexOf(in2));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    ASSERT_NE(form->RecordingChannel1, 0u);
    ASSERT_NE(form->RecordingChannel2, 0u);
    EXPECT_EQ(form->LastRecordDevice1, IndexOf(in1));
    EXPECT_EQ(form->LastRecordDevice2, IndexOf(in2));

    // A second of sine of 0.5 on Input 1 and of 0.05 on Input 2, until
    // both readouts show their peaks.
    const auto feedBoth = [&] {
        ASSERT_TRUE(Feed(1, Sine(0.5)));
        ASSERT_TRUE(Feed(2, Sine(0.05)));
        ASSERT_TRUE(WaitForText(form->LabelPeak1, QStringLiteral("Peak: 50.0000% / -6.0 dB | Avg: ")))
            << form->LabelPeak1->text().toStdString();
        ASSERT_TRUE(WaitForText(form->LabelPeak2, QStringLiteral("Peak: 5.0000% / -26.0 dB | Avg: ")))
            << form->LabelPeak2->text().toStdString();
    };
    feedBoth();
    if (HasFatalFailure())
        return;
    // The same sine at a tenth of the amplitude: a spectrum a tenth as high.
    // A tick that reads a capture's first blocks sees zeros in front of them
    // and raises the held average with the spread of that step; Reset
    // forgets it once each capture holds a whole spectrum of sine (a peak
    // shows after the first block, which under a sanitizer can be long
    // before the rest), and the next second of sine continues it.
    const auto holdsASpectrum = [](HRECORD h) {
        return BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE) >= 4096 * 2 * sizeof(float);
    };
    ASSERT_TRUE(hgtest::ProcessUntil(
        [&] { return holdsASpectrum(form->RecordingChannel1) && holdsASpectrum(form->RecordingChannel2); }, 10000));
    form->ButtonReset1->click();
    form->ButtonReset2->click();
    feedBoth();
    if (HasFatalFailure())
        return;
    hgtest::ProcessFor(100);
    const double avg1 = AvgDb(form->LabelPeak1->text());
    const double avg2 = AvgDb(form->LabelPeak2->text());
    EXPECT_NEAR(avg1 - avg2, 20.0, 0.15) << form->LabelPeak1->text().toStdString() << " / "
                                        << form->LabelPeak2->text().toStdString();
    EXPECT_LT(avg1, -6.0);
    EXPECT_TRUE(form->LabelLeftBetter->isHidden());
    EXPECT_FALSE(form->LabelRightBetter->isHidden());
    // The readouts stand at the inner edges of their halves.
    EXPECT_EQ(form->LabelPeak1->x() + form->LabelPeak1->width(), 530);
    EXPECT_EQ(form->LabelPeak2->x(), 16);

    // Reset of Input 1: its peak is gone until its next block, so Input 1 is
    // the quieter one now.
    // A late block of the sine (the server is slow under a sanitizer) can
    // still raise the peak just after a Reset; Reset again until it is gone.
    ASSERT_TRUE(hgtest::ProcessUntil(
        [&] {
            form->ButtonReset1->click();
            return WaitForText(form->LabelPeak1, QStringLiteral("Peak: 0.0000% / -inf dB | Avg: "), 100);
        },
        10000))
        << form->LabelPeak1->text().toStdString();
    hgtest::ProcessFor(60);
    EXPECT_TRUE(form->LabelPeak1->text().startsWith(QStringLiteral("Peak: 0.0000% / -inf dB")));
    EXPECT_FALSE(form->LabelLeftBetter->isHidden());
    EXPECT_TRUE(form->LabelRightBetter->isHidden());
    ASSERT_TRUE(Feed(1, Sine(0.25)));
    ASSERT_TRUE(WaitForText(form->LabelPeak1, QStringLiteral("Peak: 25.0000% / -12.0 dB | Avg: ")))
        << form->LabelPeak1->text().toStdString();
    EXPECT_TRUE(form->LabelLeftBetter->isHidden());
    EXPECT_FALSE(form->LabelRightBetter->isHidden());
}

TEST_F(CaptureTest, ASilentSourceStaysAtMinusInfinity)
{
    Pick(2, IndexOf(QStringLiteral("Hushgauge Test Input 2")));
    ASSERT_TRUE(errors.isEmpty());
    ASSERT_TRUE(Feed(2, sig::silence(48000)));
    hgtest::ProcessFor(200);
    EXPECT_EQ(form->LabelPeak2->text(), QStringLiteral("Peak: 0.0000% / -inf dB | Avg: -inf dB"));
    EXPECT_EQ(BASS_ChannelIsActive(form->RecordingChannel2), BASS_ACTIVE_PLAYING);
}

TEST_F(CaptureTest, PickingTheSameEntryAgainStartsAFreshCapture)
{
    const int in1 = IndexOf(QStringLiteral("Hushgauge Test Input 1"));
    Pick(1, in1);
    const HRECORD first = form->RecordingChannel1;
    ASSERT_TRUE(Feed(1, Sine(0.5)));
    ASSERT_TRUE(WaitForText(form->LabelPeak1, QStringLiteral("Peak: 50.0000%")));
    Pick(1, in1);
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_NE(form->RecordingChannel1, first);
    EXPECT_NE(form->RecordingChannel1, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(first), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(form->PeakLevel1.load(), 0.0f);
    EXPECT_EQ(form->AverageLevel1, 0.0);
    ASSERT_TRUE(Feed(1, Sine(0.125)));
    ASSERT_TRUE(WaitForText(form->LabelPeak1, QStringLiteral("Peak: 12.5000% / -18.1 dB")))
        << form->LabelPeak1->text().toStdString();
}

TEST_F(CaptureTest, TheSourceOfTheOtherInputGivesTheInitialisationErrorAndInput1GoesOn)
{
    const QString in1 = QStringLiteral("Hushgauge Test Input 1");
    Pick(1, IndexOf(in1));
    const HRECORD channel1 = form->RecordingChannel1;
    ASSERT_NE(channel1, 0u);
    Pick(2, IndexOf(in1));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QStringLiteral("Error while initializing input device: Hushgauge Test Input 1\r\n"
                                        "BASS error code: %1").arg(BASS_ERROR_ALREADY));
    EXPECT_EQ(form->RecordingChannel2, 0u);
    EXPECT_EQ(form->LastRecordDevice2, -111);
    // Input 1 goes on capturing.
    EXPECT_EQ(form->RecordingChannel1, channel1);
    EXPECT_EQ(BASS_ChannelIsActive(channel1), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(Feed(1, Sine(0.5)));
    ASSERT_TRUE(WaitForText(form->LabelPeak1, QStringLiteral("Peak: 50.0000% / -6.0 dB")));
    EXPECT_EQ(form->LabelPeak2->text(), QStringLiteral("Peak: 0.0000% / -inf dB | Avg: -inf dB"));
}

TEST_F(CaptureTest, TheErrorBoxIsAModalErrorWithOneCancelButton)
{
    // The real box this time: it is found while it is open, read and closed.
    form->ShowError = nullptr;
    const QString in1 = QStringLiteral("Hushgauge Test Input 1");
    Pick(1, IndexOf(in1));
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString cancelText;
    bool modal = false;
    bool timerRan = false;
    const QString before = form->LabelPeak1->text();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            buttons << b->text();
        if (QAbstractButton *cancel = box->button(QMessageBox::Cancel))
            cancelText = cancel->text();
        modal = box->isModal();
        // The window's timer goes on while the box is open.
        timerRan = form->LabelPeak1->text() != before || hgtest::ProcessUntil([&] {
                       return form->LabelPeak1->text() != before;
                   }, 1000);
        if (QAbstractButton *cancel = box->button(QMessageBox::Cancel))
            cancel->click();
        else
            box->reject();
    });
    form->LabelPeak1->setText(QStringLiteral("before the box"));
    poll.start();
    Pick(2, IndexOf(in1)); // returns when the box is closed
    EXPECT_EQ(title, QStringLiteral("Error"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(modal);
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0], cancelText);
    EXPECT_FALSE(cancelText.isEmpty());
    EXPECT_EQ(text, QStringLiteral("Error while initializing input device: Hushgauge Test Input 1\r\n"
                                   "BASS error code: %1").arg(BASS_ERROR_ALREADY));
    EXPECT_TRUE(timerRan);
}

} // namespace
