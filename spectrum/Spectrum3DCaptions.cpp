// Caption texts, places and layout (see Spectrum3DCaptions.h). Render thread
// (texts, places) and window thread (layout); no state.
#include "Spectrum3DCaptions.h"

#include "Spectrum3DMath.h"

#include <algorithm>
#include <cmath>

namespace hg {
namespace {

// Share of the sample rate under each frequency line, as a fraction so that
// the common rates divide exactly.
struct TShare {
    long double num;
    long double den;
};
constexpr TShare kShares[kFreqCaptionCount] = {{1, 2}, {3, 8}, {1, 4}, {1, 8}, {1, 16}, {1, 48}};

// Divisors of the anchors, FCaptionFreq1 ... FCaptionFreq6.
constexpr long double kAnchorDivisors[kFreqCaptionCount] = {0.99L, 1.328L, 1.99L, 3.98L, 7.95L, 23.5L};

struct TFixedTexts {
    int64_t rate;
    const char *texts[kFreqCaptionCount]; // FCaptionFreq1 ... FCaptionFreq6
};
constexpr TFixedTexts kFixed[] = {
    {44100, {"22 KHz", "16.5 KHz", "11 KHz", "5.5 KHz", "2.75 KHz", "918 Hz"}},
    {48000, {"24 KHz", "18 KHz", "12 KHz", "6 KHz", "3 KHz", "1 KHz"}},
    {96000, {"48 KHz", "36 KHz", "24 KHz", "12 KHz", "6 KHz", "2 KHz"}},
    {192000, {"96 KHz", "72 KHz", "48 KHz", "24 KHz", "12 KHz", "4 KHz"}},
};

// Level captions: divisor of the top, fixed text, exponent of the level.
constexpr long double kLevelDivisors[kLevelCaptionCount] = {23.0L, 2.245L, 1.525L, 1.275L, 1.161L};
constexpr long double kLevelDivisor5Amplified = 1.168L;
constexpr const char *kLevelTexts[kLevelCaptionCount] = {"  0 dB", "-20 dB", "-40 dB", "-60 dB", "-75 dB"};
constexpr long double kLevelExponents[kLevelCaptionCount] = {0.0L, 1.0L, 2.0L, 3.0L, 3.75L};

// A level this close to 0 dB is 0 dB: 10^p x amplitude misses 1 only by the
// rounding of the amplitude (0.1 x 10 is not exactly 1 in binary), which
// would otherwise read "-4.82E-16 dB".
constexpr long double kZeroLevel = 1e-9L;

} // namespace

void FrequencyCaptionTexts(int64_t rate, double zoom, double scroll, const TNumberSeparators &sep,
                           TFreqCaptionTexts &out)
{
    const long double r = static_cast<long double>(rate);
    if (zoom == 1.0 && scroll == 0.0) {
        for (const TFixedTexts &f : kFixed) {
            if (f.rate == rate) {
                for (int i = 0; i < kFreqCaptionCount; ++i) {
                    out[i].clear();
                    out[i].append(f.texts[i]);
                }
                return;
            }
        }
        for (int i = 0; i < kFreqCaptionCount; ++i) {
            out[i].clear();
            AppendWhole(out[i], r * kShares[i].num / kShares[i].den / 1000.0L, sep);
            out[i].append(" KHz");
        }
        return;
    }
    const long double z = zoom;
    const long double half = r / 2.0L;
    const long double offset = (half - CheckedDiv(half, z)) * static_cast<long double>(scroll);
    for (int i = 0; i < kFreqCaptionCount; ++i) {
        const long double f = CheckedDiv(r * kShares[i].num / kShares[i].den, z) + offset;
        out[i].clear();
        if (f < 1000.0L) {
            AppendWhole(out[i], f, sep);
            out[i].append(" Hz");
            continue;
        }
        const long double g = f / 1000.0L;
        if (g == std::trunc(g))
            AppendWhole(out[i], g, sep);
        else
            AppendOneDecimal(out[i], g, sep);
        out[i].append(" KHz");
    }
}

void LevelCaptionTexts(double amplitude, const TNumberSeparators &sep, TLevelCaptionTexts &out)
{
    for (int i = 0; i < kLevelCaptionCount; ++i) {
        out[i].clear();
        if (amplitude == 1.0) {
            out[i].append(kLevelTexts[i]);
            continue;
        }
        const long double value = std::pow(10.0L, kLevelExponents[i]) * static_cast<long double>(amplitude);
        if (value == 0.0L) {
            out[i].append("-inf dB");
            continue;
        }
        if (value < 0.0L)
            throw EInvalidOp(); // no logarithm of a negative level
        const long double d = -20.0L * std::log10(value);
        if (std::fabs(d) < kZeroLevel) {
            out[i].append("0 dB");
            continue;
        }
        AppendGeneral(out[i], d, 3, sep);
        out[i].append(" dB");
    }
}

long double FrequencyCaptionAnchor(int index, int32_t width)
{
    const long double w = width;
    const long double inner = static_cast<long double>(CheckedTrunc(0.965L * w) - 7);
    return inner / kAnchorDivisors[std::clamp(index, 0, kFreqCaptionCount - 1)] + w / 56.9L;
}

int32_t FrequencyCaptionLeft(int index, int32_t width, int32_t labelWidth, int32_t panelLeft)
{
    const long double x = FrequencyCaptionAnchor(index, width);
    const long double left = index == 0 ? x - (static_cast<long double>(labelWidth) + 2.0L)
                                        : x - static_cast<long double>(labelWidth / 2);
    return CheckedTrunc(left) + panelLeft;
}

int32_t LevelCaptionTop(int index, int32_t height, int32_t fontSizePoints, double amplitude)
{
    index = std::clamp(index, 0, kLevelCaptionCount - 1);
    const long double inner = CheckedTrunc(0.998L * static_cast<long double>(height));
    const long double e =
        (index == kLevelCaptionCount - 1 && amplitude != 1.0) ? kLevelDivisor5Amplified : kLevelDivisors[index];
    return CheckedTrunc(inner / e - static_cast<long double>(fontSizePoints) / 2.0L);
}

TCaptionLayout LayoutCaptions(int32_t displayWidth, int32_t displayHeight, int32_t fontSizePoints)
{
    TCaptionLayout l{};
    l.panelLeft = 7 * fontSizePoints;
    l.panelTop = 1;
    l.panelWidth = std::max(displayWidth - l.panelLeft - 1, 0);
    l.panelHeight = std::max(displayHeight - CheckedTrunc(2.5L * static_cast<long double>(fontSizePoints)), 0);
    l.levelLeft = 3;
    l.levelTop = 2;
    l.freqLeft = 2;
    l.freqTop = l.panelHeight + 1;
    return l;
}

} // namespace hg
