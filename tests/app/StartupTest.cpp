// Start-up as a process: the settings file named after the program as it was
// invoked, the PPI it gives, and the window's scaling at creation, run with
// the probe program on Qt's offscreen platform (an 800 x 600 screen at
// 96 PPI; no display needed). Test main thread.
#include "Subprocess.h"
#include "TempConfigHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace fs = std::filesystem;
using hg::test::KeyValues;
using hg::test::RunProcess;
using hg::test::TempDir;

namespace {

const std::string kProbe = HG_APP_PROBE;

void WriteFile(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::set<std::string> TreeOf(const fs::path &root)
{
    std::set<std::string> entries;
    for (const auto &e : fs::recursive_directory_iterator(root))
        entries.insert(fs::relative(e.path(), root).string());
    return entries;
}

std::map<std::string, std::string> RunProbe(const std::string &path, const std::string &argv0,
                                            const fs::path &config)
{
    hg::test::EnvChanges env{{"XDG_CONFIG_HOME", config.string()}, {"QT_QPA_PLATFORM", "offscreen"}};
    hg::test::AddQtChildSanitizerOptions(env);
    const auto r = RunProcess(path, {argv0}, env);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return KeyValues(r.out);
}

} // namespace

TEST(Startup, RenamedProgramReadsTheSettingsFileOfItsName)
{
    TempDir tmp;
    const fs::path config = tmp.path() / "config";
    const fs::path folder = config / "Orvelle/Hushgauge";
    const fs::path renamed = tmp.path() / "bin" / "Quiet Meter.run";
    fs::create_directories(renamed.parent_path());
    fs::copy_file(kProbe, renamed);
    WriteFile(folder / "Quiet Meter.ini", "[Display]\nScaling=48\n");
    WriteFile(folder / "hg_app_probe.ini", "[Display]\nScaling=144\n");
    const auto before = TreeOf(tmp.path());

    for (const std::string &argv0 : {renamed.string(), std::string("Quiet Meter.run")}) {
        const auto out = RunProbe(renamed.string(), argv0, config);
        EXPECT_EQ(out.at("settings"), (folder / "Quiet Meter.ini").string()) << argv0;
        EXPECT_EQ(out.at("start_ppi"), "48") << argv0;
        // At half size the window fits the 800 x 600 screen as it is.
        EXPECT_EQ(out.at("ppi"), "48") << argv0;
        EXPECT_EQ(out.at("client"), "629x204") << argv0;
    }
    // With no name to go by, the executable's own file name is used.
    const auto out = RunProbe(renamed.string(), "", config);
    EXPECT_EQ(out.at("settings"), (folder / "Quiet Meter.ini").string());
    const auto original = RunProbe(kProbe, "", config);
    EXPECT_EQ(original.at("settings"), (folder / "hg_app_probe.ini").string());
    EXPECT_EQ(original.at("start_ppi"), "144");

    EXPECT_EQ(TreeOf(tmp.path()), before) << "start-up writes nothing";
}

TEST(Startup, PPIFromSettingsOrMonitorAndTheFitAtCreation)
{
    struct Case {
        const char *what;
        const char *settings; // nullptr: no settings file
        const char *startPPI, *ppi, *client;
    };
    const Case cases[] = {
        // The offscreen screen reports 96 PPI: automatic means design size,
        // and 96 means no fit at all, although the window is wider than the
        // 800 x 600 screen.
        {"no settings file", nullptr, "96", "96", "1258x408"},
        {"automatic", "[Display]\nScaling=0\n", "96", "96", "1258x408"},
        {"design size, no fit", "[Display]\nScaling=96\n", "96", "96", "1258x408"},
        {"value outside the usable range", "[Display]\nScaling=-5\n", "96", "96", "1258x408"},
        {"not a number", "[Display]\nScaling=1e3\n", "96", "96", "1258x408"},
        // 150 % does not fit 800 pixels: 800 / 1258 x 96 = 61.05.
        {"shrunk to the width", "[Display]\nScaling=144\n", "144", "61", "799x259"},
        {"largest usable request", "[Display]\nScaling=960\n", "960", "61", "799x259"},
    };
    for (const Case &c : cases) {
        TempDir tmp;
        const fs::path config = tmp.path() / "config";
        if (c.settings != nullptr)
            WriteFile(config / "Orvelle/Hushgauge/hg_app_probe.ini", c.settings);
        const auto out = RunProbe(kProbe, kProbe, config);
        EXPECT_EQ(out.at("start_ppi"), c.startPPI) << c.what;
        EXPECT_EQ(out.at("ppi"), c.ppi) << c.what;
        EXPECT_EQ(out.at("client"), c.client) << c.what;
        EXPECT_EQ(out.at("shown_client"), c.client) << c.what << ": showing keeps the scaled size";
    }
}
