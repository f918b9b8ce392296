// The command line's parsing, its choice between window and command line,
// the device names of --measure and the report texts. Pure, no server.
#include "cli/CommandLine.h"
#include "cli/Report.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <optional>
#include <vector>

namespace {

using Action = hg::CommandLineRequest::Action;

hg::CommandLineRequest Parse(std::initializer_list<const char *> args)
{
    QStringList list{QStringLiteral("hushgauge")};
    for (const char *a : args)
        list << QString::fromUtf8(a);
    return hg::ParseCommandLine(list);
}

bool Window(std::vector<const char *> args)
{
    args.insert(args.begin(), "hushgauge");
    return hg::AsksForWindow(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, WindowOnlyWithoutArgumentsOrWithQtWindowOptions)
{
    EXPECT_TRUE(Window({}));
    EXPECT_TRUE(Window({"-platform", "offscreen"}));
    EXPECT_TRUE(Window({"--platform=xcb", "-reverse", "-style", "fusion"}));
    EXPECT_FALSE(Window({"-platform"})); // the value is missing
    EXPECT_FALSE(Window({"--list-devices"}));
    EXPECT_FALSE(Window({"-platform", "xcb", "--measure", "0", "1"}));
    EXPECT_FALSE(Window({"--bogus"}));
    EXPECT_FALSE(Window({"stray"}));
    EXPECT_FALSE(Window({"-reverse=1"}));
}

TEST(CommandLine, ValidRequests)
{
    EXPECT_EQ(Parse({"--help"}).action, Action::Help);
    EXPECT_EQ(Parse({"-h"}).action, Action::Help);
    EXPECT_EQ(Parse({"--measure", "0", "1", "--help"}).action, Action::Help);
    EXPECT_EQ(Parse({"--version"}).action, Action::Version);
    EXPECT_EQ(Parse({"-v"}).action, Action::Version);
    EXPECT_EQ(Parse({"--list-devices"}).action, Action::ListDevices);

    const hg::CommandLineRequest m = Parse({"--measure", "Line In", "3", "--seconds", "2.5", "--json"});
    ASSERT_EQ(m.action, Action::Measure) << m.error.toStdString();
    EXPECT_EQ(m.deviceA, QStringLiteral("Line In"));
    EXPECT_EQ(m.deviceB, QStringLiteral("3"));
    EXPECT_EQ(m.seconds, 2.5);
    EXPECT_TRUE(m.json);

    const hg::CommandLineRequest d = Parse({"0", "1", "--measure"});
    ASSERT_EQ(d.action, Action::Measure);
    EXPECT_EQ(d.seconds, 5.0);
    EXPECT_FALSE(d.json);
    EXPECT_EQ(Parse({"--measure", "0", "1", "--seconds=86400"}).seconds, 86400.0);
}

TEST(CommandLine, UsageErrorsSayWhat)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *says;
    } cases[] = {
        {{"--bogus"}, "bogus"},
        {{"--measure"}, "two devices"},
        {{"--measure", "0"}, "two devices"},
        {{"--measure", "0", "1", "2"}, "two devices"},
        {{"--measure", "0", "1", "--seconds"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "0"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "-3"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "nan"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "inf"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "86401"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "1,5"}, "seconds"},
        {{"--measure", "0", "1", "--seconds", "1", "--seconds", "2"}, "more than once"},
        {{"--json"}, "--measure"},
        {{"--seconds", "3"}, "--measure"},
        {{"--list-devices", "--measure", "0", "1"}, "together"},
        {{"--list-devices", "extra"}, "extra"},
        {{"stray"}, "stray"},
    };
    for (const auto &c : cases) {
        const hg::CommandLineRequest r = hg::ParseCommandLine([&] {
            QStringList l{QStringLiteral("hushgauge")};
            for (const char *a : c.args)
                l << QString::fromUtf8(a);
            return l;
        }());
        QString joined;
        for (const char *a : c.args)
            joined += QString::fromUtf8(a) + QLatin1Char(' ');
        EXPECT_EQ(r.action, Action::Error) << joined.toStdString();
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.says))) << joined.toStdString() << ": " << r.error.toStdString();
    }
}

TEST(CommandLine, HelpNamesTheExitCodes)
{
    const QString help = Parse({"--help"}).helpText;
    for (const char *s : {"--list-devices", "--measure", "--seconds", "--json", "Exit codes:", "  0  done",
                          "  2  usage error", "  3  a device could not"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(s))) << s;
}

TEST(CommandLine, DevicesByNumberOrExactName)
{
    const QStringList names{QStringLiteral("Line In"), QStringLiteral("USB Mic"), QStringLiteral("7"),
                            QStringLiteral("USB Mic")};
    const struct {
        const char *arg;
        std::optional<int> device;
    } cases[] = {
        {"0", 0},           {"3", 3},          {"USB Mic", 1}, // the first of equal names
        {"Line In", 0},     {"line in", {}},   {"Line", {}},      {"4", {}},
        {"7", 2},           // no device 7: the name "7"
        {"-1", {}},         {"+1", {}},        {" 1", {}},        {"", {}},
        {"99999999999", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hg::ResolveDevice(QString::fromUtf8(c.arg), names), c.device) << '"' << c.arg << '"';
}

std::array<hg::InputResult, 2> TwoInputs()
{
    std::array<hg::InputResult, 2> r;
    r[0].device = QStringLiteral("Line In");
    r[0].deviceNumber = 0;
    r[0].peak = 0.012345f;
    r[0].average = 0.000015;
    r[0].rmsDbfs = -60.25;
    r[0].rmsADbfs = -62.5;
    r[0].samples = 480000;
    r[1].device = QStringLiteral("Mikrofon \u00e4\u00f6");
    r[1].deviceNumber = 1;
    return r;
}

TEST(Report, PlainLinesAreTheWindowsReadoutsAndTheVerdict)
{
    std::array<hg::InputResult, 2> r = TwoInputs();
    EXPECT_EQ(hg::PlainReport(r, ".").toStdString(),
              "Peak: 1.2350% / -38.2 dB | Avg: -96.5 dB\n"
              "Peak: 0.0000% / -inf dB | Avg: -inf dB\n"
              "Better: Input 2\n");
    EXPECT_TRUE(hg::PlainReport(r, ",").startsWith(QStringLiteral("Peak: 1,2350% / -38,2 dB | Avg: -96,5 dB\n")));
    r[1].peak = 0.5f;
    EXPECT_TRUE(hg::PlainReport(r, ".").endsWith(QStringLiteral("Better: Input 1\n")));
    r[1].peak = r[0].peak;
    EXPECT_TRUE(hg::PlainReport(r, ".").endsWith(QStringLiteral("Better: equal\n")));
}

TEST(Report, JsonParsesAndHoldsEveryLevel)
{
    std::array<hg::InputResult, 2> r = TwoInputs();
    r[1].rmsDbfs = -std::numeric_limits<double>::infinity();
    r[1].rmsADbfs = -std::numeric_limits<double>::infinity();
    r[1].lost = true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(hg::JsonReport(r, 2.5, "."), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject root = doc.object();
    EXPECT_EQ(root.value(QStringLiteral("seconds")).toDouble(), 2.5);
    EXPECT_EQ(root.value(QStringLiteral("better")).toString(), QStringLiteral("Input 2"));
    const QJsonArray inputs = root.value(QStringLiteral("inputs")).toArray();
    ASSERT_EQ(inputs.size(), 2);
    const QJsonObject a = inputs[0].toObject(), b = inputs[1].toObject();
    EXPECT_EQ(a.value(QStringLiteral("input")).toInt(), 1);
    EXPECT_EQ(a.value(QStringLiteral("device")).toString(), QStringLiteral("Line In"));
    EXPECT_EQ(a.value(QStringLiteral("readout")).toString(),
              QStringLiteral("Peak: 1.2350% / -38.2 dB | Avg: -96.5 dB"));
    EXPECT_EQ(a.value(QStringLiteral("peak")).toObject().value(QStringLiteral("linear")).toDouble(),
              static_cast<double>(0.012345f));
    EXPECT_NEAR(a.value(QStringLiteral("peak")).toObject().value(QStringLiteral("dB")).toDouble(), -38.17, 0.01);
    EXPECT_NEAR(a.value(QStringLiteral("average")).toObject().value(QStringLiteral("dB")).toDouble(), -96.48, 0.01);
    EXPECT_EQ(a.value(QStringLiteral("rms_dBFS")).toDouble(), -60.25);
    EXPECT_EQ(a.value(QStringLiteral("rms_a_dBFS")).toDouble(), -62.5);
    EXPECT_EQ(a.value(QStringLiteral("samples")).toDouble(), 480000.0);
    EXPECT_TRUE(a.value(QStringLiteral("complete")).toBool());
    // Levels of nothing are null (JSON has no -inf); the name keeps its letters.
    EXPECT_EQ(b.value(QStringLiteral("device")).toString(), QStringLiteral("Mikrofon \u00e4\u00f6"));
    EXPECT_TRUE(b.value(QStringLiteral("peak")).toObject().value(QStringLiteral("dB")).isNull());
    EXPECT_TRUE(b.value(QStringLiteral("average")).toObject().value(QStringLiteral("dB")).isNull());
    EXPECT_TRUE(b.value(QStringLiteral("rms_dBFS")).isNull());
    EXPECT_TRUE(b.value(QStringLiteral("rms_a_dBFS")).isNull());
    EXPECT_FALSE(b.value(QStringLiteral("complete")).toBool());
}

} // namespace

namespace {

TEST(Report, VolumeWarningNamesBothVolumesWhenTheGainIsUnfair)
{
    const QString tail = QStringLiteral("; a comparison is only fair at equal gain, with both at 100 %.");
    const struct {
        std::optional<float> a, b;
        const char *warning; // before `tail`; nullptr: none
    } cases[] = {
        {1.0f, 1.0f, nullptr},
        // Whole per cent decide: 0.99 is 99.67 %, shown as 100 %.
        {0.99f, 1.0f, nullptr},
        {1.0f, 0.125f, "Warning: capture volumes differ (Input 1: 100 %, Input 2: 50 %)"},
        {0.125f, 1.0f, "Warning: capture volumes differ (Input 1: 50 %, Input 2: 100 %)"},
        {0.125f, 0.125f, "Warning: capture volumes are not at 100 % (Input 1: 50 %, Input 2: 50 %)"},
        {3.375f, 3.375f, "Warning: capture volumes are not at 100 % (Input 1: 150 %, Input 2: 150 %)"},
        {0.0f, 1.0f, "Warning: capture volumes differ (Input 1: 0 %, Input 2: 100 %)"},
        // A volume that could not be read warns of nothing itself...
        {std::nullopt, 1.0f, nullptr},
        {std::nullopt, std::nullopt, nullptr},
        // ...but the other one still may.
        {std::nullopt, 0.125f, "Warning: capture volumes are not at 100 % (Input 1: unknown, Input 2: 50 %)"},
    };
    for (const auto &c : cases) {
        std::array<hg::InputResult, 2> r = TwoInputs();
        r[0].volume = c.a;
        r[1].volume = c.b;
        const QString want = c.warning ? QString::fromUtf8(c.warning) + tail : QString();
        EXPECT_EQ(hg::VolumeWarning(r).toStdString(), want.toStdString());

        const QJsonObject root = QJsonDocument::fromJson(hg::JsonReport(r, 1, ".")).object();
        if (c.warning)
            EXPECT_EQ(root.value(QStringLiteral("volume_warning")).toString(), want);
        else
            EXPECT_TRUE(root.value(QStringLiteral("volume_warning")).isNull());
        const QJsonArray inputs = root.value(QStringLiteral("inputs")).toArray();
        ASSERT_EQ(inputs.size(), 2);
        const std::optional<float> volumes[2] = {c.a, c.b};
        for (int i = 0; i < 2; ++i) {
            const QJsonValue v = inputs[i].toObject().value(QStringLiteral("volume"));
            ASSERT_FALSE(v.isUndefined());
            if (!volumes[i]) {
                EXPECT_TRUE(v.isNull());
                continue;
            }
            EXPECT_EQ(v.toObject().value(QStringLiteral("linear")).toDouble(), static_cast<double>(*volumes[i]));
            EXPECT_EQ(v.toObject().value(QStringLiteral("percent")).toInt(), hg::VolumePercent(*volumes[i]));
        }
    }
}

TEST(Report, VolumePercentIsTheServersCubicScale)
{
    EXPECT_EQ(hg::VolumePercent(1.0f), 100);
    EXPECT_EQ(hg::VolumePercent(0.125f), 50);
    EXPECT_EQ(hg::VolumePercent(0.0f), 0);
    EXPECT_EQ(hg::VolumePercent(-1.0f), 0);
    EXPECT_EQ(hg::VolumePercent(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_GT(hg::VolumePercent(std::numeric_limits<float>::max()), 100);
}

} // namespace
