// Entry of the spectrum display's tests: a QApplication on the private X
// display (scripts/with-servers) with EGL, so that llvmpipe's multisampled
// configurations are there for the default antialiasing level 4; the tests
// run on this main thread, which is the displays' window thread.
#include <QApplication>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

namespace {

// Keeps every library loaded now (the GL driver among them) loaded until the
// process ends, so that the leak check at exit can name their frames.
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
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    PinLoadedLibraries();
    return result;
}
