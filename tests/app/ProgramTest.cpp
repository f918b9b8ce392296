// The program itself (hushgauge) started on private Xvfb servers with a
// settings file: the size its main window is first shown at, read back from
// the X server, and a clean end when the window is closed. Test main thread;
// a program that does not end is killed by its process id.
#include "DPIFunctions.h"
#include "Subprocess.h"
#include "TempConfigHome.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using hg::test::PrivateXServer;
using hg::test::TempDir;

namespace {

const std::string kProgram = HG_PROGRAM;

struct WindowSize {
    int w = 0, h = 0;
};

struct ProgramRun {
    std::optional<WindowSize> shown; // the main window's size, once shown
    int exitCode = -1;               // after it was asked to close
};

// Top-level windows come and go while the program starts (the toolkit's and
// the GL driver's own), so one can vanish between XQueryTree and the
// requests about it. Xlib's default handler would end this test process on
// that BadWindow and leave the program running; here a failed request only
// makes that window's query fail, and the window is skipped.
int IgnoreXError(Display *, XErrorEvent *)
{
    return 0;
}

// The size of the viewable top-level window titled "Hushgauge" (with no
// window manager running, the top-level windows are the root's children);
// nothing while there is none.
std::optional<WindowSize> ShownMainWindow(Display *x, Window *which = nullptr)
{
    Window root = 0, parent = 0;
    Window *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count) == 0)
        return std::nullopt;
    std::optional<WindowSize> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(x, children[i], &a) == 0 || a.map_state != IsViewable)
            continue;
        char *name = nullptr;
        if (XFetchName(x, children[i], &name) != 0 && name != nullptr) {
            if (std::string(name) == "Hushgauge") {
                found = WindowSize{a.width, a.height};
                if (which != nullptr)
                    *which = children[i];
            }
            XFree(name);
        }
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

// Asks a window to close, as a window manager's close box does.
void RequestClose(Display *x, Window w)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, w, False, NoEventMask, &e);
    XFlush(x);
}

// Starts the program as `invokedAs` (a path to it or to a link to it) with
// `settings` as the settings file of that name, waits for its main window,
// closes it and waits for the program to end.
ProgramRun RunProgram(const std::string &display, const std::string &invokedAs,
                                     const std::string &settings)
{
    TempDir tmp;
    const fs::path folder = tmp.path() / "config/Orvelle/Hushgauge";
    fs::create_directories(folder);
    std::ofstream(folder / (fs::path(invokedAs).filename().string() + ".ini")) << settings;
    hg::test::EnvChanges env{{"XDG_CONFIG_HOME", (tmp.path() / "config").string()},
                             {"DISPLAY", display},
                             {"QT_QPA_PLATFORM", "xcb"},
                             {"WAYLAND_DISPLAY", std::nullopt},
                             // No sound server: the window lists no devices
                             // and leaves the tests' private server alone.
                             {"PULSE_SERVER", "unix:" + (tmp.path() / "no-server").string()}};
    hg::test::AddQtChildSanitizerOptions(env);
    ProgramRun run;
    Display *x = XOpenDisplay(display.c_str());
    if (x == nullptr)
        return run;
    XSetErrorHandler(IgnoreXError);
    const pid_t pid = hg::test::StartProcess(invokedAs, {invokedAs}, env);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (pid > 0 && !run.shown && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        run.shown = ShownMainWindow(x);
    }
    // Let it settle: the first size must also be the lasting one.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Window window = 0;
    if (run.shown)
        run.shown = ShownMainWindow(x, &window);
    if (window != 0)
        RequestClose(x, window);
    run.exitCode = hg::test::WaitProcess(pid, window != 0 ? 60000 : 0);
    XCloseDisplay(x);
    return run;
}

} // namespace

TEST(Program, MainWindowIsScaledAndFittedAtStart)
{
    PrivateXServer small({"-screen", "0", "1024x600x24", "+extension", "GLX"});
    PrivateXServer large({"-screen", "0", "1920x1080x24", "+extension", "GLX"});
    ASSERT_FALSE(small.display().empty() || large.display().empty()) << "Xvfb did not start";

    // 150 % on full HD: the fixed client area (1258 wide) grows by half.
    const auto onLarge = RunProgram(large.display(), kProgram, "[Display]\nScaling=144\n");
    ASSERT_TRUE(onLarge.shown) << "no main window shown";
    EXPECT_EQ(onLarge.shown->w, 1887);
    EXPECT_GT(onLarge.shown->h, 612);
    EXPECT_EQ(onLarge.exitCode, 0) << "closing the window ends the program cleanly";

    // The same on 1024 x 600: the window is shrunk to the width, 1024 / 1258
    // x 96 = 78.1 PPI, with its height inside 600 - 48.
    const auto onSmall = RunProgram(small.display(), kProgram, "[Display]\nScaling=144\n");
    ASSERT_TRUE(onSmall.shown) << "no main window shown";
    EXPECT_EQ(onSmall.shown->w, hg::MulDiv(1258, 78, 96));
    EXPECT_GT(onSmall.shown->h, hg::MulDiv(408, 78, 96));
    EXPECT_LE(onSmall.shown->h, 600 - 48);
    EXPECT_EQ(onSmall.exitCode, 0);

    // 96: design size, no fit, although it is wider than the monitor.
    const auto design = RunProgram(small.display(), kProgram, "[Display]\nScaling=96\n");
    ASSERT_TRUE(design.shown) << "no main window shown";
    EXPECT_EQ(design.shown->w, 1258);
    EXPECT_EQ(design.exitCode, 0);
}

TEST(Program, LinkUnderAnotherNameReadsItsOwnSettingsFile)
{
    PrivateXServer large({"-screen", "0", "1920x1080x24", "+extension", "GLX"});
    ASSERT_FALSE(large.display().empty()) << "Xvfb did not start";
    TempDir bin;
    const fs::path link = bin.path() / "quiet-meter";
    fs::create_symlink(kProgram, link);

    // RunProgram writes quiet-meter.ini; a hushgauge.ini is not there to read.
    const auto shown = RunProgram(large.display(), link.string(), "[Display]\nScaling=72\n");
    ASSERT_TRUE(shown.shown) << "no main window shown";
    EXPECT_EQ(shown.shown->w, hg::MulDiv(1258, 72, 96));
    EXPECT_EQ(shown.exitCode, 0);
}
