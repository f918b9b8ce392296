// The fit of the window to a real monitor: the probe program run on private
// Xvfb servers with small and large screens and with two monitors side by
// side, under Qt's X11 platform. Needs the Xvfb program; test main thread.
#include "DPIFunctions.h"
#include "Subprocess.h"
#include "TempConfigHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlibint.h>
#include <X11/extensions/randrproto.h>
// Xlibint.h defines these as macros.
#undef min
#undef max

namespace fs = std::filesystem;
using hg::test::KeyValues;
using hg::test::PrivateXServer;
using hg::test::RunProcess;
using hg::test::TempDir;

namespace {

const std::string kProbe = HG_APP_PROBE;

struct Size {
    int w = 0, h = 0;
};

struct QRectLike {
    int x = 0, y = 0, w = 0, h = 0;
};

Size ParseSize(const std::string &text)
{
    Size s;
    if (std::sscanf(text.c_str(), "%dx%d", &s.w, &s.h) != 2)
        return {};
    return s;
}

// The desktop's scaling as X desktops publish it: Xft.dpi in the root
// window's resources, which Qt reads as the monitors' logical PPI.
bool PublishXftDpi(const std::string &display, int dpi)
{
    Display *x = XOpenDisplay(display.c_str());
    if (x == nullptr)
        return false;
    const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
    XChangeProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(resources.data()), static_cast<int>(resources.size()));
    XSync(x, False);
    XCloseDisplay(x);
    return true;
}

// The X server's RandR outputs (Xvfb has one, covering its screen). Xlib's
// request macros expect the display to be called `dpy`.
std::vector<CARD32> RandrOutputs(Display *dpy, int opcode)
{
    std::vector<CARD32> outputs;
    LockDisplay(dpy);
    xRRGetScreenResourcesReq *req = nullptr;
    GetReq(RRGetScreenResources, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->randrReqType = X_RRGetScreenResources;
    req->window = DefaultRootWindow(dpy);
    xRRGetScreenResourcesReply rep{};
    if (_XReply(dpy, reinterpret_cast<xReply *>(&rep), 0, xFalse) != 0) {
        std::vector<CARD32> data(rep.length);
        if (rep.length > 0)
            _XRead(dpy, reinterpret_cast<char *>(data.data()), static_cast<long>(rep.length) * 4);
        for (unsigned i = 0; i < rep.nOutputs && rep.nCrtcs + i < data.size(); ++i)
            outputs.push_back(data[rep.nCrtcs + i]);
    }
    UnlockDisplay(dpy);
    SyncHandle();
    return outputs;
}

void SetRandrMonitor(Display *dpy, int opcode, const char *name, QRectLike r, const std::vector<CARD32> &outputs)
{
    const Atom atom = XInternAtom(dpy, name, False);
    LockDisplay(dpy);
    xRRSetMonitorReq *req = nullptr;
    GetReqExtra(RRSetMonitor, outputs.size() * 4, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->randrReqType = X_RRSetMonitor;
    req->window = DefaultRootWindow(dpy);
    req->monitor.name = static_cast<CARD32>(atom);
    req->monitor.primary = xFalse;
    req->monitor.automatic = xFalse;
    req->monitor.noutput = static_cast<CARD16>(outputs.size());
    req->monitor.x = static_cast<INT16>(r.x);
    req->monitor.y = static_cast<INT16>(r.y);
    req->monitor.width = static_cast<CARD16>(r.w);
    req->monitor.height = static_cast<CARD16>(r.h);
    req->monitor.widthInMillimeters = static_cast<CARD32>(r.w * 254 / 960); // 96 PPI
    req->monitor.heightInMillimeters = static_cast<CARD32>(r.h * 254 / 960);
    auto *list = reinterpret_cast<CARD32 *>(req + 1);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        list[i] = outputs[i];
    UnlockDisplay(dpy);
    SyncHandle();
}

// Splits the one screen of an Xvfb server into two monitors, as RandR 1.5
// describes a desktop of two side by side: the first takes the server's
// output (so that it replaces the monitor made for that output), the second
// is a monitor of its own.
bool SplitIntoTwoMonitors(const std::string &display, QRectLike first, QRectLike second)
{
    Display *x = XOpenDisplay(display.c_str());
    if (x == nullptr)
        return false;
    int opcode = 0, event = 0, error = 0;
    const bool randr = XQueryExtension(x, "RANDR", &opcode, &event, &error) != 0;
    if (randr) {
        const std::vector<CARD32> outputs = RandrOutputs(x, opcode);
        SetRandrMonitor(x, opcode, "HG-FIRST", first,
                        outputs.empty() ? outputs : std::vector<CARD32>{outputs.front()});
        SetRandrMonitor(x, opcode, "HG-SECOND", second, {});
        XSync(x, False);
    }
    XCloseDisplay(x);
    return randr;
}

std::map<std::string, std::string> RunProbeOn(const std::string &display, const char *settings,
                                              const char *cursor = nullptr)
{
    TempDir tmp;
    const fs::path config = tmp.path() / "config";
    if (settings != nullptr) {
        fs::create_directories(config / "Orvelle/Hushgauge");
        std::ofstream(config / "Orvelle/Hushgauge/hg_app_probe.ini") << settings;
    }
    hg::test::EnvChanges env{{"XDG_CONFIG_HOME", config.string()},
                             {"DISPLAY", display},
                             {"QT_QPA_PLATFORM", "xcb"},
                             {"WAYLAND_DISPLAY", std::nullopt},
                             {"QT_FONT_DPI", std::nullopt},
                             {"QT_SCALE_FACTOR", std::nullopt},
                             {"QT_SCREEN_SCALE_FACTORS", std::nullopt}};
    if (cursor != nullptr)
        env["HG_PROBE_CURSOR"] = cursor;
    hg::test::AddQtChildSanitizerOptions(env);
    const auto r = RunProcess(kProbe, {kProbe}, env);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return KeyValues(r.out);
}

// What a fit to a monitor of `monitor` gives for `design` at `ppi`, worked
// out in full here: the largest PPI (up to the request) at which the window
// fits the width and the height less 48 pixels.
int LargestFittingPPI(Size design, Size monitor, int ppi)
{
    int best = ppi;
    while (best > 1 && (std::lround(design.w * best / 96.0) > monitor.w ||
                        std::lround(design.h * best / 96.0) > monitor.h - 48))
        --best;
    return best;
}

} // namespace

TEST(FitOnDisplay, WindowIsShrunkToASmallMonitor)
{
    PrivateXServer x({"-screen", "0", "1024x600x24"});
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";

    const auto out = RunProbeOn(x.display(), "[Display]\nScaling=144\n");
    const Size design = ParseSize(out.at("design"));
    ASSERT_GT(design.w, 0);
    EXPECT_EQ(out.at("monitor"), "1024x600");
    const int ppi = std::stoi(out.at("ppi"));
    EXPECT_EQ(ppi, LargestFittingPPI(design, {1024, 600}, 144));
    EXPECT_LT(ppi, 96) << "shrunk below the design size";
    const Size shown = ParseSize(out.at("shown"));
    EXPECT_LE(shown.w, 1024);
    EXPECT_LE(shown.h, 600 - 48);
    EXPECT_EQ(out.at("shown_client"), std::to_string(hg::MulDiv(1258, ppi, 96)) + "x" +
                                          std::to_string(hg::MulDiv(408, ppi, 96)));

    // At 96 there is no fit: the window keeps its design size, too wide.
    const auto design96 = RunProbeOn(x.display(), "[Display]\nScaling=96\n");
    EXPECT_EQ(design96.at("ppi"), "96");
    EXPECT_EQ(design96.at("shown_client"), "1258x408");
}

TEST(FitOnDisplay, LargeMonitorTakesTheRequestAndTheDesktopPPI)
{
    PrivateXServer x({"-screen", "0", "1920x1080x24"});
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";

    const auto requested = RunProbeOn(x.display(), "[Display]\nScaling=144\n");
    EXPECT_EQ(requested.at("ppi"), "144");
    EXPECT_EQ(requested.at("shown_client"), "1887x612");

    // Automatic: no settings file, the desktop at 96 and then at 150 %.
    const auto plain = RunProbeOn(x.display(), nullptr);
    EXPECT_EQ(plain.at("start_ppi"), "96");
    EXPECT_EQ(plain.at("shown_client"), "1258x408");
    ASSERT_TRUE(PublishXftDpi(x.display(), 144));
    const auto automatic = RunProbeOn(x.display(), nullptr);
    EXPECT_EQ(automatic.at("start_ppi"), "144");
    EXPECT_EQ(automatic.at("ppi"), "144");
    EXPECT_EQ(automatic.at("shown_client"), "1887x612");
    // A desktop value that gives no usable window counts as design size.
    ASSERT_TRUE(PublishXftDpi(x.display(), 5000));
    EXPECT_EQ(RunProbeOn(x.display(), nullptr).at("start_ppi"), "96");
}

TEST(FitOnDisplay, FitUsesTheMonitorUnderTheCursor)
{
    // One desktop of two monitors side by side: full HD, and 1024 x 600 to
    // its right.
    PrivateXServer x({"-screen", "0", "2944x1080x24"});
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    ASSERT_TRUE(SplitIntoTwoMonitors(x.display(), {0, 0, 1920, 1080}, {1920, 0, 1024, 600}));

    const auto onLarge = RunProbeOn(x.display(), "[Display]\nScaling=144\n", "100,100");
    ASSERT_EQ(onLarge.at("monitors"), "2");
    EXPECT_EQ(onLarge.at("monitor"), "1920x1080");
    EXPECT_EQ(onLarge.at("ppi"), "144");
    EXPECT_EQ(onLarge.at("shown_client"), "1887x612");

    const auto onSmall = RunProbeOn(x.display(), "[Display]\nScaling=144\n", "2200,300");
    EXPECT_EQ(onSmall.at("monitor"), "1024x600");
    const Size design = ParseSize(onSmall.at("design"));
    const int ppi = std::stoi(onSmall.at("ppi"));
    EXPECT_EQ(ppi, LargestFittingPPI(design, {1024, 600}, 144));
    EXPECT_EQ(onSmall.at("shown_client"), std::to_string(hg::MulDiv(1258, ppi, 96)) + "x" +
                                              std::to_string(hg::MulDiv(408, ppi, 96)));
}
