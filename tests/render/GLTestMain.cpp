// Entry of the drawing layer's GL tests: a QGuiApplication on the private X
// display (scripts/with-servers), then the tests, all on this main thread
// unless a test starts its own render threads.
#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Xvfb's GLX visuals have no multisampling; EGL on X11 gives llvmpipe's
    // multisampled configurations. A value set by the caller wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
