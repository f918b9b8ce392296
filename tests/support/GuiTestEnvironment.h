// Shared by the test and benchmark programs that open windows on the private
// X display of scripts/with-servers. Header only; main thread.
#pragma once

#include <QtGlobal>

#include <dlfcn.h>
#include <link.h>

namespace hgtest {

// Before the application object exists: Xvfb's GLX visuals have no
// multisampling, while EGL on X11 gives llvmpipe's multisampled
// configurations (a value set by the caller wins); and Qt's own high-DPI
// scaling is off, as in the program.
inline void PrepareGuiEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

// Keeps every library loaded now (the GL driver among them) loaded until the
// process ends, so that the leak check at exit can name their frames and the
// suppressions for third-party libraries match them.
inline void PinLoadedLibraries()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/')
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

} // namespace hgtest
