// Device listing and the measurement of two inputs (see Measure.h). Main
// thread; PeakHoldDSP and LevelMeterDSP run on the capture library's thread.
#include "cli/Measure.h"

#include "cli/AWeighting.h"
#include "cli/Report.h"

#include "measure/DeviceErrors.h"
#include "audio/hushcapture.h"
#include "measure/core/AverageFFT.h"
#include "measure/core/DecimalSeparator.h"
#include "measure/core/PeakHold.h"
#include "measure/core/Readout.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <atomic>
#include <cmath>

namespace hg {

namespace {

// One input of the measurement, as the window keeps it: the channel, the
// held peak that PeakHoldDSP raises (shared with the capture thread, relaxed
// atomic), the held average (main thread only), and the level meter (fed
// on the capture thread, read after BASS_Free).
struct Input {
    int device = -1;
    QString name;
    HRECORD channel = 0;
    std::atomic<float> peak{0.0f};
    double average = 0.0;
    bool full = false; // a whole spectrum block has been captured
    LevelMeter meter;
};

// Opens the device and starts capturing on it, as the window's device
// choice does; on failure prints the window's error text and returns false.
bool OpenInput(Input &in, std::FILE *err)
{
    in.peak.store(0.0f, std::memory_order_relaxed);
    in.average = 0.0;
    if (!BASS_RecordInit(in.device)) {
        PrintText(err, DeviceErrorText(DeviceError::Init, in.name, BASS_ErrorGetCode()) + QLatin1Char('\n'));
        return false;
    }
    in.channel = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, RecordCallback, nullptr);
    if (in.channel == 0) {
        const int code = BASS_ErrorGetCode();
        BASS_RecordFree();
        PrintText(err, DeviceErrorText(DeviceError::Start, in.name, code) + QLatin1Char('\n'));
        return false;
    }
    in.peak.store(0.0f, std::memory_order_relaxed);
    BASS_ChannelSetDSP(in.channel, PeakHoldDSP, &in.peak, 0);
    // After the peak hold; it only reads the samples.
    BASS_ChannelSetDSP(in.channel, LevelMeterDSP, &in.meter, -1);
    return true;
}

// Whether the channel holds the 4096 frames of a whole spectrum block. Until
// then a spectrum read pads the frames with zeros in front, and the sudden
// start of the signal inside the window spreads over every bin: a mean far
// above the input's own, which the held average would keep for the whole
// measurement. In the window this happens in the first ticks after a device
// choice, and the user's Reset clears it; the command line has no Reset, so
// it starts holding the average once the block is whole.
bool HasFullSpectrumWindow(Input &in)
{
    if (in.full)
        return true;
    const DWORD bytes = BASS_ChannelGetData(in.channel, nullptr, BASS_DATA_AVAILABLE);
    in.full = bytes != static_cast<DWORD>(-1) && bytes >= 4096u * 2u * sizeof(float);
    return in.full;
}

} // namespace

void PrintText(std::FILE *to, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), to);
    std::fflush(to);
}

QStringList CaptureDeviceNames()
{
    QStringList names;
    BASS_DEVICEINFO info{};
    for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i)
        names.append(QString::fromUtf8(info.name ? info.name : ""));
    return names;
}

QString DeviceListText()
{
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const QStringList names = CaptureDeviceNames();
    BASS_Free();
    QString text;
    for (qsizetype i = 0; i < names.size(); ++i)
        text += QString::number(i) + QLatin1Char('\t') + names[i] + QLatin1Char('\n');
    return text;
}

int MeasureInputs(const CommandLineRequest &r, std::FILE *out, std::FILE *err)
{
    // The window starts the library without an output device; a failure is
    // not examined there either (the listing then is empty).
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const QStringList names = CaptureDeviceNames();

    std::array<Input, 2> inputs;
    const QString wanted[2] = {r.deviceA, r.deviceB};
    for (int i = 0; i < 2; ++i) {
        const std::optional<int> d = ResolveDevice(wanted[i], names);
        if (!d) {
            PrintText(err, QStringLiteral("No capture device has the number or name: ") + wanted[i] +
                           QStringLiteral("\n(hushgauge --list-devices lists them.)\n"));
            BASS_Free();
            return kExitDevice;
        }
        inputs[i].device = *d;
        inputs[i].name = names[*d];
    }
    // The capture volumes, read once before the measurement: a comparison
    // at unequal gain is warned of at once, not after S seconds.
    std::array<InputResult, 2> results;
    for (std::size_t i = 0; i < 2; ++i) {
        float volume = 0.0f;
        if (BASS_RecordGetVolume(static_cast<DWORD>(inputs[i].device), &volume) && std::isfinite(volume))
            results[i].volume = volume;
    }
    if (const QString warning = VolumeWarning(results); !warning.isEmpty())
        PrintText(err, warning + QLatin1Char('\n'));

    for (Input &in : inputs)
        if (!OpenInput(in, err)) {
            BASS_Free();
            return kExitDevice;
        }

    // The window's timer tick: raise both held averages every 20 ms. The
    // tick at or after the end (or the first one that finds a capture
    // stopped) is the last one; its held values are the result, each peak
    // read once so that texts and verdict agree.
    QElapsedTimer clock;
    QTimer timer;
    timer.setInterval(20);
    const qint64 endMs = static_cast<qint64>(std::ceil(r.seconds * 1000.0));
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (Input &in : inputs)
            if (HasFullSpectrumWindow(in))
                CalculateAverageFFT(in.channel, in.average);
        // A capture that stopped (its source or the server went away) ends
        // the measurement at once: it can no longer be completed.
        const bool lost = BASS_ChannelIsActive(inputs[0].channel) != BASS_ACTIVE_PLAYING ||
                          BASS_ChannelIsActive(inputs[1].channel) != BASS_ACTIVE_PLAYING;
        if (clock.elapsed() < endMs && !lost)
            return;
        timer.stop();
        for (std::size_t i = 0; i < 2; ++i) {
            results[i].peak = inputs[i].peak.load(std::memory_order_relaxed);
            results[i].average = inputs[i].average;
            results[i].lost = BASS_ChannelIsActive(inputs[i].channel) != BASS_ACTIVE_PLAYING;
        }
        QCoreApplication::quit();
    });
    clock.start();
    timer.start();
    QCoreApplication::exec();

    // Stops both captures: after this the level meters are no longer fed.
    BASS_Free();
    for (std::size_t i = 0; i < 2; ++i) {
        results[i].device = inputs[i].name;
        results[i].deviceNumber = inputs[i].device;
        results[i].rmsDbfs = inputs[i].meter.RmsDbfs();
        results[i].rmsADbfs = inputs[i].meter.RmsADbfs();
        results[i].samples = inputs[i].meter.Samples();
    }

    const std::string sep = CurrentDecimalSeparator();
    if (r.json)
        PrintText(out, QString::fromUtf8(JsonReport(results, r.seconds, sep)));
    else
        PrintText(out, PlainReport(results, sep));

    int code = kExitDone;
    for (std::size_t i = 0; i < 2; ++i)
        if (results[i].lost) {
            PrintText(err, QStringLiteral("Input %1 stopped capturing during the measurement: ").arg(i + 1) +
                           results[i].device + QLatin1Char('\n'));
            code = kExitDevice;
        }
    return code;
}

} // namespace hg
