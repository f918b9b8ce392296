// The program entry: DPI awareness, the application object, the layout PPI,
// then the main window and the event loop; the spectrum display's library
// bindings are made before the window and given back after it. Runs on the
// main (window) thread.
#include "Scaling.h"

#include "Main.h"
#include "cli/CommandLine.h"
#include "spectrum/Spectrum3DBinding.h"

#include <QApplication>

namespace {

int RunMainWindow()
{
    TFormMain form; // its creation handler scales it (hg::ScaleFormAtCreation)
    form.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // --list-devices, --measure and the like run without the window.
    if (const std::optional<int> code = hg::RunCommandLineIfAsked(argc, argv))
        return *code;
    // The displays call through these bindings on their render threads, so
    // they are made first, before any window exists, and given back only
    // once the window and both displays (and so their render threads) are
    // gone.
    hg::Spectrum3DUnitStartup();
    hg::DeclareDpiAwareness();
    hg::KeepMenuBarInWindow();
    QApplication app(argc, argv);
    hg::InitScalingPPI();
    const int code = RunMainWindow();
    hg::Spectrum3DUnitShutdown();
    return code;
}
