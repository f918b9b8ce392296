// The program entry: DPI awareness, the application object, the layout PPI,
// then the main window and the event loop. Runs on the main (window) thread.
#include "Scaling.h"

#include "Main.h"
#include "cli/CommandLine.h"

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
    hg::DeclareDpiAwareness();
    hg::KeepMenuBarInWindow();
    QApplication app(argc, argv);
    hg::InitScalingPPI();
    return RunMainWindow();
}
