// The command line of the hushgauge program: --help, --version,
// --list-devices and --measure A B [--seconds S] [--json]. The program entry
// calls RunCommandLineIfAsked first, on the main thread, before any
// application object exists.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace hg {

// Exit codes of the command line.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDevice = 3;

// Runs the command line when the arguments ask for it and returns the exit
// code; returns nothing when they ask for the window (no arguments, or only
// Qt's own window options such as "-platform xcb"). Creates its own
// QCoreApplication, so it needs no display.
std::optional<int> RunCommandLineIfAsked(int argc, char **argv);

// True when argv[1 ...] hold nothing but Qt's own window options (and their
// values), so that the window is meant. Pure.
bool AsksForWindow(int argc, const char *const *argv);

// What the arguments ask for. Pure: the parse does not look at devices.
struct CommandLineRequest {
    enum class Action { Help, Version, ListDevices, Measure, Error };
    Action action = Action::Error;
    QString deviceA, deviceB; // Measure: as given
    double seconds = 5.0;     // Measure
    bool json = false;        // Measure
    QString error;            // Error: what is wrong, one line
    QString helpText;         // Help and Error: the whole --help text
};

// `arguments` includes the program name first.
CommandLineRequest ParseCommandLine(const QStringList &arguments);

// The device that a --measure argument names: a number (decimal digits only)
// below the number of devices is that device; otherwise the first device
// whose name is exactly the argument. Nothing when neither fits. Pure.
std::optional<int> ResolveDevice(const QString &argument, const QStringList &deviceNames);

// The longest measurement --seconds accepts (a day).
inline constexpr double kMaxSeconds = 86400.0;

} // namespace hg
