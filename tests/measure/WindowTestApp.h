// The Qt application object of the main-window tests: made once, on the test
// runner's main thread, with Qt's own high-DPI scaling off as the program
// has it, and destroyed after the last test. Include in exactly one test
// file of a test binary.
#pragma once

#include "app/Scaling.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tests/support/GuiTestEnvironment.h"

namespace hgtest {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        hg::DeclareDpiAwareness();
        app_ = std::make_unique<QApplication>(argc_, argv_);
        // Windows of a test close when the test ends; that must not end a
        // later test's event loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override
    {
        hgtest::PinLoadedLibraries();
        app_.reset();
    }

private:
    int argc_ = 1;
    char arg0_[16] = "hushgauge-test";
    char *argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Runs the event loop until `done` holds or `ms` milliseconds have passed;
// returns whether `done` held.
inline bool ProcessUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void ProcessFor(int ms)
{
    ProcessUntil([] { return false; }, ms);
}

} // namespace hgtest

// gtest_main runs the environment's SetUp before the first test.
inline ::testing::Environment *const hgtest_qt_env = ::testing::AddGlobalTestEnvironment(new hgtest::QtAppEnvironment);
