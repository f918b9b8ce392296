// What --measure prints: the two readout texts and the verdict, or one JSON
// object with the levels of both inputs. Pure (Qt Core strings and JSON
// only); the main thread calls it once the capture is over.
#pragma once

#include "measure/core/Readout.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hg {

// The result of one input's measurement.
struct InputResult {
    QString device;           // the device's name as the library lists it
    int deviceNumber = -1;    // its number in the list
    float peak = 0;           // held peak, 1.0 = full scale (PeakLevel1/2)
    double average = 0;       // held spectrum average (AverageLevel1/2)
    double rmsDbfs = 0;       // RMS of all captured samples, dBFS (-inf: none)
    double rmsADbfs = 0;      // the same, A-weighted
    std::uint64_t samples = 0; // samples counted for the RMS (both channels)
    bool lost = false;        // the capture stopped before the end
    // The source's capture volume as the server reported it at the start,
    // linear (1.0 = 100 %); none when it could not be read.
    std::optional<float> volume;
};

// A linear volume as the sound server's own percentage, rounded to whole
// per cent (the server's percentages are cubic: linear 0.125 is 50 %).
int VolumePercent(float linear);

// The warning that the comparison is unfair, naming both volumes as the
// server's percentages: when they differ, or either is not 100 %
// (compared in whole per cent). A volume that could not be read gives no
// warning of its own; "" when there is nothing to warn of. No line end.
QString VolumeWarning(const std::array<InputResult, 2> &inputs);

// "Better: Input 1", "Better: Input 2" or "Better: equal", from the same
// comparison as the window's arrows.
QString VerdictText(const BetterArrows &arrows);

// The three lines of plain output: the readout texts of Input 1 and
// Input 2 exactly as the window's labels show them, then the verdict; each
// line ends with "\n".
QString PlainReport(const std::array<InputResult, 2> &inputs, std::string_view decimalSeparator);

// One JSON object (indented, UTF-8, ending with "\n"):
//   {"seconds": S, "better": "Input 1" | "Input 2" | "equal",
//    "inputs": [{"input": 1, "device": "...", "device_number": 0,
//                "readout": "Peak: ...", "peak": {"linear": x, "dB": d},
//                "average": {"linear": x, "dB": d}, "rms_dBFS": d,
//                "rms_a_dBFS": d, "samples": n, "complete": true,
//                "volume": {"linear": x, "percent": p} | null}, {...}],
//    "volume_warning": "Warning: ..." | null}
// A level of nothing (0, no samples) has no dB value: JSON null.
QByteArray JsonReport(const std::array<InputResult, 2> &inputs, double seconds, std::string_view decimalSeparator);

} // namespace hg
