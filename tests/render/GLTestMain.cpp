// Entry of the drawing layer's GL tests: a QGuiApplication on the private X
// display (scripts/with-servers), then the tests, all on this main thread
// unless a test starts its own render threads.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include "tests/support/GuiTestEnvironment.h"

int main(int argc, char **argv)
{
    hgtest::PrepareGuiEnvironment();
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    hgtest::PinLoadedLibraries();
    return result;
}
