// Entry of the fault and soak tests: a QApplication on the private X display
// (scripts/with-servers) as the program makes it, on the main thread, which
// is the window thread of the window and the displays.
#include "app/Scaling.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <dlfcn.h>
#include <link.h>

int main(int argc, char **argv)
{
    // A fifo whose source went away raises SIGPIPE in the feeders; they
    // handle EPIPE instead.
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Keeps every library (the GL driver among them) loaded until exit, so
    // that the leak check names their frames.
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/')
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
    return result;
}
