// The real program on the private X display and sound server: hushgauge is
// started as it is installed, its window is found on the X server, both
// spectrum displays are seen drawing in it (pixels read back from the
// server), and closing the window with the window manager's close request
// ends the program with exit code 0: the audio library, the displays with
// their render threads and the library bindings go away in order, with no
// crash and, in sanitizer builds, no report. Test main thread only.
#include "WindowTestApp.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// A connection of its own to the X display, for finding the program's
// window and sending it the close request.
class XConnection {
public:
    XConnection() : c_(xcb_connect(nullptr, nullptr)) {}
    ~XConnection() { xcb_disconnect(c_); }
    bool Ok() const { return xcb_connection_has_error(c_) == 0; }

    xcb_atom_t Atom(const char *name)
    {
        auto *r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                        nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    // The mapped top-level window of process `pid` titled `title`, or 0.
    xcb_window_t FindWindow(pid_t pid, const std::string &title)
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const xcb_atom_t netPid = Atom("_NET_WM_PID");
        xcb_window_t found = 0;
        auto *tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, root), nullptr);
        if (!tree)
            return 0;
        const xcb_window_t *kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && found == 0; ++i) {
            if (Cardinal(kids[i], netPid) != static_cast<uint32_t>(pid))
                continue;
            auto *attr = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, kids[i]), nullptr);
            const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attr);
            if (viewable && Text(kids[i], XCB_ATOM_WM_NAME) == title)
                found = kids[i];
        }
        std::free(tree);
        return found;
    }

    // Asks the window to close, as a window manager's close box does.
    void SendClose(xcb_window_t w)
    {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = Atom("WM_PROTOCOLS");
        e.data.data32[0] = Atom("WM_DELETE_WINDOW");
        e.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&e));
        xcb_flush(c_);
    }

private:
    uint32_t Cardinal(xcb_window_t w, xcb_atom_t prop)
    {
        auto *r = xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, prop, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        uint32_t v = 0;
        if (r && xcb_get_property_value_length(r) == 4)
            std::memcpy(&v, xcb_get_property_value(r), 4);
        std::free(r);
        return v;
    }
    std::string Text(xcb_window_t w, xcb_atom_t prop)
    {
        auto *r = xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                         nullptr);
        std::string s;
        if (r)
            s.assign(static_cast<const char *>(xcb_get_property_value(r)),
                     static_cast<std::size_t>(xcb_get_property_value_length(r)));
        std::free(r);
        return s;
    }

    xcb_connection_t *c_;
};

// Waits up to `ms` for the child to end; its wait status, or -1.
int WaitForExit(pid_t pid, int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0 && errno != EINTR)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

TEST(ProgramWindow, DrawsBothSpectraAndEndsCleanlyWhenItsWindowIsClosed)
{
    ASSERT_NE(std::getenv("HG_PULSE_DIR"), nullptr) << "run under scripts/with-servers";
    XConnection x;
    ASSERT_TRUE(x.Ok());

    // A settings folder of its own, so that the user's is never touched.
    char config[] = "/tmp/hg-program-test.XXXXXX";
    ASSERT_NE(mkdtemp(config), nullptr);
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 && std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
            env.emplace_back(*e);
    env.push_back(std::string("XDG_CONFIG_HOME=") + config);
    // In an AddressSanitizer build the program's GL driver is unloaded at
    // exit before the leak check runs, which leaves its blocks without a
    // library name that a suppression could match; the leak check of our
    // own code in the window and displays is made in-process by the other
    // window tests. Every other check (use after free, overflows) stays on.
    const char *asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : std::string()) +
                  "detect_leaks=0");
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char program[] = HG_PROGRAM;
    char *argv[] = {program, nullptr};
    // posix_spawn, not fork: this process has threads (Qt's), and
    // ThreadSanitizer needs a clean start of the child.
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()), 0);

    xcb_window_t window = 0;
    const bool shown = hgtest::ProcessUntil([&] { return (window = x.FindWindow(pid, "Hushgauge")) != 0; }, 20000);
    if (!shown) {
        kill(pid, SIGKILL);
        WaitForExit(pid, 5000);
        FAIL() << "the program's window did not appear";
    }

    // Both displays draw on their own, before any device: two black
    // surfaces with the grid's dark grey lines and the flat yellow curve,
    // in a window of light button face (the flat line lands on every
    // other pixel or so of the base row).
    int black = 0, grid = 0, curve = 0;
    hgtest::ProcessUntil(
        [&] {
            const QImage img =
                QGuiApplication::primaryScreen()->grabWindow(window).toImage().convertToFormat(QImage::Format_RGB32);
            black = grid = curve = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int xx = 0; xx < img.width(); ++xx) {
                    const QRgb p = img.pixel(xx, y);
                    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
                    if (r == 0 && g == 0 && b == 0)
                        ++black;
                    else if (r >= 20 && r < 60 && std::abs(r - g) < 6 && std::abs(r - b) < 6)
                        ++grid;
                    else if (r > 120 && g > 120 && b < 60)
                        ++curve;
                }
            return black > 200000 && grid > 4000 && curve > 200;
        },
        10000);
    EXPECT_GT(black, 200000);
    EXPECT_GT(grid, 4000);
    EXPECT_GT(curve, 200);

    x.SendClose(window);
    const int status = WaitForExit(pid, 30000);
    if (status == -1) {
        kill(pid, SIGKILL);
        WaitForExit(pid, 5000);
    }
    EXPECT_TRUE(status != -1 && WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);

    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
}

} // namespace
