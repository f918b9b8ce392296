// The capture side of the command line: the device listing and the
// measurement of two inputs, through the capture library exactly as the
// main window does it. Main thread, with a QCoreApplication running; the
// capture library calls the peak hold and the level meter on its thread.
#pragma once

#include "cli/CommandLine.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace hg {

// Writes `text` as UTF-8 to `to` and flushes it.
void PrintText(std::FILE *to, const QString &text);

// The capture devices' names in the library's order (the window's lists).
// Starts the library if nobody has (BASS_Init); empty without a server.
QStringList CaptureDeviceNames();

// "<number>\t<name>\n" for every capture device; "" when there are none.
// Starts and frees the library.
QString DeviceListText();

// Runs --measure: opens A and B, captures for r.seconds with the held
// average raised every 20 ms, prints the report to `out` and failures, with
// the window's error texts, to `err`; first of all `err` gets the warning
// when the two sources' capture volumes make the comparison unfair.
// Returns the exit code.
int MeasureInputs(const CommandLineRequest &r, std::FILE *out, std::FILE *err);

} // namespace hg
