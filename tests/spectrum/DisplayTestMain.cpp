// Entry of the spectrum display's tests: a QApplication on the private X
// display (scripts/with-servers) with EGL, so that llvmpipe's multisampled
// configurations are there for the default antialiasing level 4; the tests
// run on this main thread, which is the displays' window thread.
#include <QApplication>

#include <gtest/gtest.h>

#include "tests/support/GuiTestEnvironment.h"

int main(int argc, char **argv)
{
    hgtest::PrepareGuiEnvironment();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    hgtest::PinLoadedLibraries();
    return result;
}
