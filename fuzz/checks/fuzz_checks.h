// The properties the fuzz targets check, one function per target. Each takes
// one raw input and returns "" when every property holds, else a sentence
// on what failed. The fuzz targets abort on a failure; the regression tests
// replay the committed inputs through the same functions. Single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hgfuzz {

// The settings file: the bytes as the whole file, read as the program reads
// its "Display"/"Scaling" value, give 0 or a PPI in the usable range; the
// integer format agrees with a reference reading of the same bytes.
std::string CheckSettingsInput(const std::uint8_t *data, std::size_t size);

// The readout's numbers: FormatFixed, Percentage2dBStr, PeakPercentageStr
// and ReadoutText of any value parse back to the independently rounded
// value and stay within their length bounds.
std::string CheckFixedFormatInput(const std::uint8_t *data, std::size_t size);

// The display's caption numbers (whole, one decimal, general) and caption
// texts: they fit their fixed text and parse back within their rounding.
std::string CheckCaptionFormatInput(const std::uint8_t *data, std::size_t size);

// The capture library's BASS_ChannelGetData with any handle, length and
// buffer. StartCaptureForFuzzing opens "Hushgauge Test Input 1" once and
// starts a channel on it (a no-op after the first call); without a
// reachable sound server only invalid handles are tried. Returns a sentence
// on what it could not set up ("" when a live channel runs).
std::string StartCaptureForFuzzing();
// The live channel that StartCaptureForFuzzing started (0 for none).
std::uint32_t FuzzedLiveChannel();
std::string CheckCaptureGetDataInput(const std::uint8_t *data, std::size_t size);

} // namespace hgfuzz
