// The command line of the hushgauge program (see CommandLine.h): parsing,
// --help, --version and the dispatch to the device listing and the
// measurement (Measure.h). Main thread.
#include "cli/CommandLine.h"

#include "cli/Measure.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifndef HG_VERSION
#define HG_VERSION "0"
#endif

namespace hg {

namespace {

// Qt's own window options (QGuiApplication and QApplication read them),
// with one dash or two; those in the first list take a value, as the next
// argument or after "=".
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowtitle", "title", "qwindowicon", "icon", "display", "style", "stylesheet", "session",
    "qmljsdebugger", "name", "visual", "fontengine"};
constexpr std::string_view kQtFlags[] = {"reverse", "nograb", "dograb", "widgetcount", "sync"};

// The option name of a "-x" or "--x" argument without the dashes and any
// "=value"; empty for anything else.
std::string_view QtOptionName(std::string_view arg, bool &hasInlineValue)
{
    hasInlineValue = false;
    if (arg.size() < 2 || arg[0] != '-')
        return {};
    arg.remove_prefix(arg[1] == '-' ? 2 : 1);
    const std::size_t eq = arg.find('=');
    if (eq != std::string_view::npos) {
        hasInlineValue = true;
        arg = arg.substr(0, eq);
    }
    return arg;
}

template <std::size_t N>
bool Contains(const std::string_view (&list)[N], std::string_view name)
{
    for (std::string_view s : list)
        if (s == name)
            return true;
    return false;
}

QString ExitCodeHelp()
{
    return QStringLiteral(
        "\nA and B are device numbers or exact device names as --list-devices prints\n"
        "them (a number is taken as a number first). --measure captures both inputs as\n"
        "the window does and prints the two readouts as the window shows them, then\n"
        "\"Better: Input 1\", \"Better: Input 2\" or \"Better: equal\" (the lower held peak\n"
        "is better). --json prints one JSON object instead, with the held peak and\n"
        "average, and the RMS level of all captured samples in dBFS (1.0 = full scale),\n"
        "unweighted and A-weighted (IEC 61672), and each source's capture volume.\n"
        "A warning goes to standard error when the two capture volumes differ or either\n"
        "is not at 100 %: a comparison is only fair at equal gain.\n"
        "\nExit codes:\n"
        "  0  done\n"
        "  2  usage error: an unknown option, a missing or extra argument, a bad --seconds\n"
        "  3  a device could not be found, opened or started, or it stopped capturing\n"
        "     during the measurement\n");
}

bool ParseSeconds(const QString &text, double &seconds)
{
    bool ok = false;
    const double s = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(s) || !(s > 0) || s > kMaxSeconds)
        return false;
    seconds = s;
    return true;
}

} // namespace

bool AsksForWindow(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!argv[i])
            return false;
        bool inlineValue = false;
        const std::string_view name = QtOptionName(argv[i], inlineValue);
        if (name.empty())
            return false;
        if (Contains(kQtOptionsWithValue, name)) {
            if (!inlineValue) {
                if (i + 1 >= argc)
                    return false; // the option lacks its value: a usage error
                ++i;
            }
            continue;
        }
        if (!inlineValue && Contains(kQtFlags, name))
            continue;
        return false;
    }
    return true;
}

CommandLineRequest ParseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Compare the noise floor of two audio inputs. Without arguments the window opens."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption list(QStringLiteral("list-devices"),
                                  QStringLiteral("List the capture devices, one a line: number, tab, name."));
    const QCommandLineOption measure(QStringLiteral("measure"),
                                     QStringLiteral("Measure input A against input B and print the readouts."));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("How long --measure captures, in seconds (default 5)."),
                                     QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --measure: print one JSON object instead."));
    parser.addOptions({help, version, list, measure, seconds, json});
    parser.addPositionalArgument(QStringLiteral("A B"),
                                 QStringLiteral("With --measure: the devices of Input 1 and Input 2."),
                                 QStringLiteral("[A B]"));

    CommandLineRequest r;
    r.helpText = parser.helpText() + ExitCodeHelp();
    auto fail = [&r](const QString &why) {
        r.action = CommandLineRequest::Action::Error;
        r.error = why;
        return r;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        r.action = CommandLineRequest::Action::Help;
        return r;
    }
    if (parser.isSet(version)) {
        r.action = CommandLineRequest::Action::Version;
        return r;
    }
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(list) && parser.isSet(measure))
        return fail(QStringLiteral("--list-devices and --measure cannot be used together."));
    if (!parser.isSet(measure)) {
        if (parser.isSet(seconds) || parser.isSet(json))
            return fail(QStringLiteral("--seconds and --json go with --measure."));
        if (!positional.isEmpty())
            return fail(QStringLiteral("Unexpected argument: ") + positional.first());
        if (parser.isSet(list)) {
            r.action = CommandLineRequest::Action::ListDevices;
            return r;
        }
        r.action = CommandLineRequest::Action::Help;
        return r;
    }
    if (positional.size() != 2)
        return fail(QStringLiteral("--measure needs two devices, A and B; %1 given.").arg(positional.size()));
    if (parser.values(seconds).size() > 1)
        return fail(QStringLiteral("--seconds is given more than once."));
    if (!ParseSeconds(parser.value(seconds), r.seconds))
        return fail(QStringLiteral("--seconds needs a number of seconds above 0 and up to %1: ")
                        .arg(kMaxSeconds, 0, 'f', 0) +
                    parser.value(seconds));
    r.action = CommandLineRequest::Action::Measure;
    r.deviceA = positional[0];
    r.deviceB = positional[1];
    r.json = parser.isSet(json);
    return r;
}

std::optional<int> ResolveDevice(const QString &argument, const QStringList &deviceNames)
{
    bool digits = !argument.isEmpty() && argument.size() <= 9;
    for (QChar c : argument)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (digits) {
        const int n = argument.toInt();
        if (n < deviceNames.size())
            return n;
    }
    const qsizetype at = deviceNames.indexOf(argument);
    if (at >= 0)
        return static_cast<int>(at);
    return std::nullopt;
}

std::optional<int> RunCommandLineIfAsked(int argc, char **argv)
{
    if (AsksForWindow(argc, argv))
        return std::nullopt;
    int qtArgc = argc;
    QCoreApplication app(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hushgauge"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HG_VERSION));
    const CommandLineRequest r = ParseCommandLine(QCoreApplication::arguments());
    switch (r.action) {
    case CommandLineRequest::Action::Help:
        PrintText(stdout, r.helpText);
        return kExitDone;
    case CommandLineRequest::Action::Version:
        PrintText(stdout, QStringLiteral("hushgauge " HG_VERSION "\n"));
        return kExitDone;
    case CommandLineRequest::Action::ListDevices:
        PrintText(stdout, DeviceListText());
        return kExitDone;
    case CommandLineRequest::Action::Measure:
        return MeasureInputs(r, stdout, stderr);
    case CommandLineRequest::Action::Error:
        break;
    }
    PrintText(stderr, QStringLiteral("hushgauge: ") + r.error + QStringLiteral("\nTry 'hushgauge --help'.\n"));
    return kExitUsage;
}

} // namespace hg
