// Entry of the fault and soak tests: a QApplication on the private X display
// (scripts/with-servers) as the program makes it, on the main thread, which
// is the window thread of the window and the displays.
#include "app/Scaling.h"

#include <QApplication>
#include <QSemaphore>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <csignal>

#include "tests/support/GuiTestEnvironment.h"

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
    // Qt scales and converts images on its global thread pool, whose threads
    // come when work comes and end after 30 s idle. The tests count threads
    // and descriptors (each pool thread has an event descriptor), so the pool
    // is filled now and kept full: every later change is the program's own.
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    const int poolThreads = pool->maxThreadCount();
    QSemaphore started, release;
    for (int i = 0; i < poolThreads; ++i)
        pool->start([&] {
            started.release();
            release.acquire();
        });
    started.acquire(poolThreads); // all of them run at once: one thread each
    release.release(poolThreads);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    hgtest::PinLoadedLibraries();
    return result;
}
