// Texts and places of the display's scale captions: six frequency captions
// under the grid's frequency lines and five level captions beside its level
// lines, and the layout of the inner drawing panel that makes room for them.
// Pure functions; the frame computes texts and places on the render thread,
// the layout runs on the window thread. Nothing here allocates.
#pragma once

#include "Spectrum3DNumberFormat.h"

#include <array>
#include <cstdint>

namespace hg {

inline constexpr int kFreqCaptionCount = 6;  // FCaptionFreq1 ... FCaptionFreq6
inline constexpr int kLevelCaptionCount = 5; // FCaptionLevel1 ... FCaptionLevel5

// Index 0 is FCaptionFreq1 (half the sample rate, at the right end), index 5
// FCaptionFreq6 (1/48 of it, at the left).
using TFreqCaptionTexts = std::array<TShortText, kFreqCaptionCount>;
// Index 0 is FCaptionLevel1 (the top line), index 4 FCaptionLevel5.
using TLevelCaptionTexts = std::array<TShortText, kLevelCaptionCount>;

// Frequency caption texts for sample rate `rate` (Hz). In the default view
// (zoom exactly 1, scroll exactly 0) the common rates 44100, 48000, 96000 and
// 192000 have fixed texts and other rates read rate x share / 1000 as a whole
// number of "KHz". In a zoomed or scrolled view each caption names the
// frequency under its line: below 1000 as whole "Hz", else as "KHz", whole
// when it is a whole number of kHz, else with one decimal.
// Throws EZeroDivide for zoom 0 (the frame reports it).
void FrequencyCaptionTexts(int64_t rate, double zoom, double scroll, const TNumberSeparators &sep,
                           TFreqCaptionTexts &out);

// Level caption texts: fixed at amplitude exactly 1 ("  0 dB", "-20 dB",
// "-40 dB", "-60 dB", "-75 dB"); otherwise the level each line shows once the
// curve is magnified, -20 x log10(10^p x amplitude) in the general format
// with 3 digits, "0 dB" for 0, "-inf dB" for amplitude 0.
// Throws EInvalidOp for a negative amplitude (no logarithm).
void LevelCaptionTexts(double amplitude, const TNumberSeparators &sep, TLevelCaptionTexts &out);

// Horizontal anchor (pixels from the inner panel's left) of frequency
// caption `index` for an inner panel `width` pixels wide:
// W' / d + W / 56.9 with W' = trunc(0.965 W) - 7.
long double FrequencyCaptionAnchor(int index, int32_t width);

// Left of frequency caption `index` in the display's client coordinates,
// for a label `labelWidth` pixels wide (its width with its new text) and the
// inner panel's left `panelLeft`: FCaptionFreq1 ends 2 pixels left of its
// anchor, the others are centred on theirs.
int32_t FrequencyCaptionLeft(int index, int32_t width, int32_t labelWidth, int32_t panelLeft);

// Top of level caption `index` for an inner panel `height` pixels high and
// the display's font size in points: trunc(H' / e - size / 2) with H' =
// trunc(0.998 H). The bottom caption sits a little higher when the
// amplitude is not exactly 1.
int32_t LevelCaptionTop(int index, int32_t height, int32_t fontSizePoints, double amplitude);

// Places of the inner panel and the captions when captions are shown, in the
// display's client coordinates.
struct TCaptionLayout {
    int32_t panelLeft;   // 7 x font size
    int32_t panelTop;    // 1
    int32_t panelWidth;  // display width - panel left - 1
    int32_t panelHeight; // display height - trunc(2.5 x font size)
    int32_t levelLeft;   // 3
    int32_t levelTop;    // 2, until the first frame moves them
    int32_t freqLeft;    // 2, until the first frame moves them
    int32_t freqTop;     // panel height + 1: the row below the inner panel
    friend bool operator==(const TCaptionLayout &, const TCaptionLayout &) = default;
};

// The layout for a display of `displayWidth` x `displayHeight` pixels and
// its font size in points. A display too small for the captions gives an
// inner panel of size 0 rather than a negative one.
TCaptionLayout LayoutCaptions(int32_t displayWidth, int32_t displayHeight, int32_t fontSizePoints);

} // namespace hg
