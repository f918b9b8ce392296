// What --measure prints (see Report.h). Main thread, after the capture.
#include "cli/Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace hg {

namespace {

// A dB value for JSON, which has no infinities: null for a level of nothing.
QJsonValue DbValue(double db)
{
    if (!std::isfinite(db))
        return QJsonValue(QJsonValue::Null);
    return db;
}

// A linear level for JSON: null when it is not a finite number.
QJsonValue LinearValue(double linear)
{
    if (!std::isfinite(linear))
        return QJsonValue(QJsonValue::Null);
    return linear;
}

QJsonValue LinearToDb(double linear)
{
    if (!(linear > 0))
        return QJsonValue(QJsonValue::Null);
    return DbValue(20.0 * std::log10(linear));
}

BetterArrows ArrowsOf(const std::array<InputResult, 2> &inputs)
{
    return BetterArrowsFor(inputs[0].peak, inputs[1].peak);
}

QString PercentText(const std::optional<float> &volume)
{
    return volume ? QString::number(VolumePercent(*volume)) + QStringLiteral(" %") : QStringLiteral("unknown");
}

} // namespace

int VolumePercent(float linear)
{
    // A volume above about 2^21 % would not fit an int; no server goes near.
    if (!std::isfinite(linear) || !(linear > 0))
        return 0;
    return static_cast<int>(std::lround(std::min(std::cbrt(static_cast<double>(linear)) * 100.0, 1e9)));
}

QString VolumeWarning(const std::array<InputResult, 2> &inputs)
{
    const std::optional<float> &a = inputs[0].volume, &b = inputs[1].volume;
    const bool differ = a && b && VolumePercent(*a) != VolumePercent(*b);
    const bool off = (a && VolumePercent(*a) != 100) || (b && VolumePercent(*b) != 100);
    if (!differ && !off)
        return {};
    return (differ ? QStringLiteral("Warning: capture volumes differ (")
                   : QStringLiteral("Warning: capture volumes are not at 100 % (")) +
           QStringLiteral("Input 1: ") + PercentText(a) + QStringLiteral(", Input 2: ") + PercentText(b) +
           QStringLiteral("); a comparison is only fair at equal gain, with both at 100 %.");
}

QString VerdictText(const BetterArrows &arrows)
{
    if (arrows.LeftVisible && !arrows.RightVisible)
        return QStringLiteral("Better: Input 1");
    if (arrows.RightVisible && !arrows.LeftVisible)
        return QStringLiteral("Better: Input 2");
    return QStringLiteral("Better: equal");
}

QString PlainReport(const std::array<InputResult, 2> &inputs, std::string_view decimalSeparator)
{
    QString out;
    for (const InputResult &r : inputs)
        out += QString::fromStdString(ReadoutText(r.peak, r.average, decimalSeparator)) + QLatin1Char('\n');
    out += VerdictText(ArrowsOf(inputs)) + QLatin1Char('\n');
    return out;
}

QByteArray JsonReport(const std::array<InputResult, 2> &inputs, double seconds, std::string_view decimalSeparator)
{
    QJsonArray list;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const InputResult &r = inputs[i];
        QJsonObject o;
        o.insert(QStringLiteral("input"), static_cast<int>(i + 1));
        o.insert(QStringLiteral("device"), r.device);
        o.insert(QStringLiteral("device_number"), r.deviceNumber);
        o.insert(QStringLiteral("readout"),
                 QString::fromStdString(ReadoutText(r.peak, r.average, decimalSeparator)));
        o.insert(QStringLiteral("peak"), QJsonObject{{QStringLiteral("linear"), LinearValue(r.peak)},
                                                     {QStringLiteral("dB"), LinearToDb(r.peak)}});
        o.insert(QStringLiteral("average"), QJsonObject{{QStringLiteral("linear"), LinearValue(r.average)},
                                                        {QStringLiteral("dB"), LinearToDb(r.average)}});
        o.insert(QStringLiteral("rms_dBFS"), DbValue(r.rmsDbfs));
        o.insert(QStringLiteral("rms_a_dBFS"), DbValue(r.rmsADbfs));
        o.insert(QStringLiteral("samples"), static_cast<double>(r.samples));
        o.insert(QStringLiteral("complete"), !r.lost);
        if (r.volume && std::isfinite(*r.volume))
            o.insert(QStringLiteral("volume"), QJsonObject{{QStringLiteral("linear"), static_cast<double>(*r.volume)},
                                                           {QStringLiteral("percent"), VolumePercent(*r.volume)}});
        else
            o.insert(QStringLiteral("volume"), QJsonValue(QJsonValue::Null));
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("seconds"), seconds);
    root.insert(QStringLiteral("better"), VerdictText(ArrowsOf(inputs)).mid(8)); // after "Better: "
    root.insert(QStringLiteral("inputs"), list);
    const QString warning = VolumeWarning(inputs);
    root.insert(QStringLiteral("volume_warning"),
                warning.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(warning));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace hg
