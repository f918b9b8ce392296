// Entry of the drawing layer's GL tests: a QGuiApplication on the private X
// display (scripts/with-servers), then the tests, all on this main thread
// unless a test starts its own render threads.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

namespace {

// Keeps every library loaded now (the GL driver among them) loaded until the
// process ends, so that the leak check at exit can name their frames and the
// suppressions for third-party frames apply.
void PinLoadedLibraries()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/')
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    // Xvfb's GLX visuals have no multisampling; EGL on X11 gives llvmpipe's
    // multisampled configurations. A value set by the caller wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    PinLoadedLibraries();
    return result;
}
