// Tests of the caption number formats, the frequency and level caption
// texts, their places, and the caption layout of the inner panel.
#include "Spectrum3DCaptions.h"
#include "Spectrum3DMath.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace hg {
namespace {

const TNumberSeparators kDot{".", ","};
const TNumberSeparators kComma{",", "."};

enum class TFormat { Whole, OneDecimal, General3 };

std::string Format(TFormat f, long double v, const TNumberSeparators &sep)
{
    TShortText t;
    switch (f) {
    case TFormat::Whole: AppendWhole(t, v, sep); break;
    case TFormat::OneDecimal: AppendOneDecimal(t, v, sep); break;
    case TFormat::General3: AppendGeneral(t, v, 3, sep); break;
    }
    return std::string(t.view());
}

TEST(Spectrum3DNumberFormat, FormatsRoundHalvesAwayFromZeroAndUseTheSeparators)
{
    struct TCase {
        TFormat format;
        long double value;
        const char *dot;   // with "." and ","
        const char *comma; // with "," and "."
    };
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    const TCase cases[] = {
        {TFormat::Whole, 0.459L, "0", "0"},
        {TFormat::Whole, 2.5L, "3", "3"},
        {TFormat::Whole, -2.5L, "-3", "-3"},
        {TFormat::Whole, -0.4L, "0", "0"},
        {TFormat::Whole, 918.75L, "919", "919"},
        {TFormat::Whole, 12345678.4L, "12345678", "12345678"}, // no grouping
        {TFormat::Whole, 123456789.0L, "1.2345679E8", "1,2345679E8"},
        {TFormat::Whole, nan, "NAN", "NAN"},
        {TFormat::Whole, -inf, "-INF", "-INF"},
        {TFormat::OneDecimal, 12.5L, "12.5", "12,5"},
        {TFormat::OneDecimal, 1.25L, "1.3", "1,3"},
        {TFormat::OneDecimal, 2.75625L, "2.8", "2,8"},
        {TFormat::OneDecimal, 11.025L, "11.0", "11,0"},
        {TFormat::OneDecimal, 0.04L, "0.0", "0,0"},
        {TFormat::OneDecimal, -0.04L, "0.0", "0,0"},
        {TFormat::OneDecimal, 999.96L, "1,000.0", "1.000,0"},
        {TFormat::OneDecimal, 1234567.25L, "1,234,567.3", "1.234.567,3"},
        {TFormat::General3, -6.0205999L, "-6.02", "-6,02"},
        {TFormat::General3, -26.0206L, "-26", "-26"},
        {TFormat::General3, -81.0206L, "-81", "-81"},
        {TFormat::General3, 0.5L, "0.5", "0,5"},
        {TFormat::General3, 100.0L, "100", "100"},
        {TFormat::General3, -120.4L, "-120", "-120"},
        {TFormat::General3, 1.125L, "1.13", "1,13"},
        {TFormat::General3, 999.5L, "1E3", "1E3"},
        {TFormat::General3, 1234.5L, "1.23E3", "1,23E3"},
        {TFormat::General3, 0.0001234L, "0.000123", "0,000123"},
        {TFormat::General3, 0.000012345L, "0.0000123", "0,0000123"},
        {TFormat::General3, 0.0000045L, "4.5E-6", "4,5E-6"},
        {TFormat::General3, 0.0L, "0", "0"},
        {TFormat::General3, nan, "NAN", "NAN"},
    };
    for (const TCase &c : cases) {
        EXPECT_EQ(Format(c.format, c.value, kDot), c.dot) << "value " << static_cast<double>(c.value);
        EXPECT_EQ(Format(c.format, c.value, kComma), c.comma) << "value " << static_cast<double>(c.value);
    }
}

TEST(Spectrum3DNumberFormat, MultiByteSeparatorsAndAFullTextStaySafe)
{
    const TNumberSeparators thin{",", "\u202F"};
    EXPECT_EQ(Format(TFormat::OneDecimal, 1234567.25L, thin), "1\u202F234\u202F567,3");
    // Far past the capacity: cut, never overrun.
    TShortText t;
    for (int i = 0; i < 20; ++i)
        AppendOneDecimal(t, 123456789.5L, kDot);
    EXPECT_EQ(t.view().size(), TShortText::kCapacity);
    EXPECT_EQ(t.c_str()[TShortText::kCapacity], '\0');
}

std::vector<std::string> FreqTexts(int64_t rate, double zoom, double scroll, const TNumberSeparators &sep = kDot)
{
    TFreqCaptionTexts out;
    FrequencyCaptionTexts(rate, zoom, scroll, sep, out);
    std::vector<std::string> r;
    for (const TShortText &t : out)
        r.emplace_back(t.view());
    return r;
}

using TTexts = std::vector<std::string>;

TEST(Spectrum3DCaptions, FrequencyTextsOfTheDefaultView)
{
    // FCaptionFreq1 (half the rate) ... FCaptionFreq6 (1/48 of it).
    EXPECT_EQ(FreqTexts(44100, 1, 0), (TTexts{"22 KHz", "16.5 KHz", "11 KHz", "5.5 KHz", "2.75 KHz", "918 Hz"}));
    EXPECT_EQ(FreqTexts(48000, 1, 0), (TTexts{"24 KHz", "18 KHz", "12 KHz", "6 KHz", "3 KHz", "1 KHz"}));
    EXPECT_EQ(FreqTexts(96000, 1, 0), (TTexts{"48 KHz", "36 KHz", "24 KHz", "12 KHz", "6 KHz", "2 KHz"}));
    EXPECT_EQ(FreqTexts(192000, 1, 0), (TTexts{"96 KHz", "72 KHz", "48 KHz", "24 KHz", "12 KHz", "4 KHz"}));
    // Any other rate: whole kHz.
    EXPECT_EQ(FreqTexts(22050, 1, 0), (TTexts{"11 KHz", "8 KHz", "6 KHz", "3 KHz", "1 KHz", "0 KHz"}));
    // The fixed texts are fixed, whatever the locale.
    EXPECT_EQ(FreqTexts(44100, 1, 0, kComma)[1], "16.5 KHz");
}

TEST(Spectrum3DCaptions, FrequencyTextsFollowZoomAndScroll)
{
    EXPECT_EQ(FreqTexts(48000, 2, 0), (TTexts{"12 KHz", "9 KHz", "6 KHz", "3 KHz", "1.5 KHz", "500 Hz"}));
    EXPECT_EQ(FreqTexts(48000, 2, 1), (TTexts{"24 KHz", "21 KHz", "18 KHz", "15 KHz", "13.5 KHz", "12.5 KHz"}));
    EXPECT_EQ(FreqTexts(48000, 2, 1, kComma),
              (TTexts{"24 KHz", "21 KHz", "18 KHz", "15 KHz", "13,5 KHz", "12,5 KHz"}));
    EXPECT_EQ(FreqTexts(44100, 2, 0), (TTexts{"11.0 KHz", "8.3 KHz", "5.5 KHz", "2.8 KHz", "1.4 KHz", "459 Hz"}));
    // Scrolled at zoom 1 the view does not move: formulas, but the same places.
    EXPECT_EQ(FreqTexts(48000, 1, 0.5), (TTexts{"24 KHz", "18 KHz", "12 KHz", "6 KHz", "3 KHz", "1 KHz"}));
    EXPECT_THROW(FreqTexts(48000, 0, 0), EZeroDivide);
}

TTexts LevelTexts(double amplitude, const TNumberSeparators &sep = kDot)
{
    TLevelCaptionTexts out;
    LevelCaptionTexts(amplitude, sep, out);
    TTexts r;
    for (const TShortText &t : out)
        r.emplace_back(t.view());
    return r;
}

TEST(Spectrum3DCaptions, LevelTextsMoveDownWithTheAmplitude)
{
    EXPECT_EQ(LevelTexts(1), (TTexts{"  0 dB", "-20 dB", "-40 dB", "-60 dB", "-75 dB"}));
    EXPECT_EQ(LevelTexts(2), (TTexts{"-6.02 dB", "-26 dB", "-46 dB", "-66 dB", "-81 dB"}));
    EXPECT_EQ(LevelTexts(2, kComma), (TTexts{"-6,02 dB", "-26 dB", "-46 dB", "-66 dB", "-81 dB"}));
    EXPECT_EQ(LevelTexts(10), (TTexts{"-20 dB", "-40 dB", "-60 dB", "-80 dB", "-95 dB"}));
    EXPECT_EQ(LevelTexts(0), (TTexts(5, "-inf dB")));
    // 10 x 0.1 misses 1 only by rounding: the line is the 0 dB line.
    EXPECT_EQ(LevelTexts(0.1), (TTexts{"20 dB", "0 dB", "-20 dB", "-40 dB", "-55 dB"}));
    EXPECT_THROW(LevelTexts(-1), EInvalidOp);
}

TEST(Spectrum3DCaptions, FrequencyCaptionPlacesOnA457PixelPanel)
{
    const double anchors[6] = {446.42, 334.84, 226.12, 117.08, 62.62, 26.50};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(static_cast<double>(FrequencyCaptionAnchor(i, 457)), anchors[i], 0.005) << "FCaptionFreq" << i + 1;
    // FCaptionFreq1 ends 2 pixels left of its anchor; the others are centred.
    EXPECT_EQ(FrequencyCaptionLeft(0, 457, 40, 56), 404 + 56);
    EXPECT_EQ(FrequencyCaptionLeft(2, 457, 30, 56), 267);
    EXPECT_EQ(FrequencyCaptionLeft(5, 457, 31, 56), 11 + 56); // 31 div 2 = 15
    EXPECT_EQ(FrequencyCaptionLeft(5, 457, 60, 0), -3);       // cut toward zero
}

TEST(Spectrum3DCaptions, LevelCaptionTopsOnA277PixelPanel)
{
    const int32_t tops[5] = {8, 118, 176, 212, 233};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(LevelCaptionTop(i, 277, 8, 1.0), tops[i]) << "FCaptionLevel" << i + 1;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(LevelCaptionTop(i, 277, 8, 2.0), tops[i]) << "FCaptionLevel" << i + 1;
    EXPECT_EQ(LevelCaptionTop(4, 277, 8, 2.0), 232);
    EXPECT_EQ(LevelCaptionTop(0, 277, 9, 1.0), 7); // 12 - 4.5
}

TEST(Spectrum3DCaptions, LayoutMakesRoomForTheCaptions)
{
    struct TCase {
        int32_t width, height, font;
        TCaptionLayout layout;
    };
    const TCase cases[] = {
        {514, 297, 8, {56, 1, 457, 277, 3, 2, 2, 278}},
        {514, 297, 9, {63, 1, 450, 275, 3, 2, 2, 276}}, // 2.5 x 9 = 22.5, cut to 22
        {30, 10, 8, {56, 1, 0, 0, 3, 2, 2, 1}},         // too small: no negative sizes
    };
    for (const TCase &c : cases)
        EXPECT_EQ(LayoutCaptions(c.width, c.height, c.font), c.layout)
            << c.width << " x " << c.height << ", font " << c.font;
}

} // namespace
} // namespace hg
