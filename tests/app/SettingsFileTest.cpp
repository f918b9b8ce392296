// Tests of the settings file: its place under the XDG configuration folder,
// the folders made on the way, and the "Display"/"Scaling" value as start-up
// uses it. No display needed; runs on the test's main thread.
#include "DPIFunctions.h"
#include "SettingsFile.h"
#include "SpecialFolders.h"
#include "TempConfigHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <set>

namespace fs = std::filesystem;
using hg::test::ScopedEnv;
using hg::test::TempDir;

namespace {

// Every file and folder below `root`, as paths relative to it.
std::set<std::string> TreeOf(const fs::path &root)
{
    std::set<std::string> entries;
    for (const auto &e : fs::recursive_directory_iterator(root))
        entries.insert(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    return entries;
}

void WriteFile(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A byte string that may hold NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&bytes)[N])
{
    return std::string(bytes, N - 1);
}

unsigned ModeOf(const fs::path &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(SpecialFolders, LocalAppDataFollowsXdgRules)
{
    struct Case {
        const char *xdg;
        const char *home;
        std::string expected;
    };
    const Case cases[] = {
        {"/tmp/cfg", "/home/u", "/tmp/cfg"},
        {"/tmp/cfg///", "/home/u", "/tmp/cfg"},
        {"relative/cfg", "/home/u", "/home/u/.config"}, // a relative XDG path is ignored
        {"", "/home/u", "/home/u/.config"},
        {nullptr, "/home/u/", "/home/u/.config"},
        {nullptr, "/", "/.config"},
        {nullptr, "home/u", ""}, // no absolute folder anywhere
        {nullptr, nullptr, ""},
    };
    for (const Case &c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(hg::GetSpecialFolderPath(hg::CSIDL_LOCAL_APPDATA), c.expected)
            << "XDG_CONFIG_HOME=" << (c.xdg ? c.xdg : "(unset)") << " HOME=" << (c.home ? c.home : "(unset)");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(hg::GetSpecialFolderPath(26), "") << "only the local application-data folder is known";
}

TEST(SettingsFile, FileNameFollowsTheInvokedName)
{
    const std::pair<const char *, const char *> cases[] = {
        {"hushgauge", "hushgauge.ini"},
        {"/usr/bin/hushgauge", "hushgauge.ini"},
        {"./build/Hushgauge.exe", "Hushgauge.ini"},
        {"hg.tar.gz", "hg.tar.ini"}, // only the last extension goes
        {"/opt/v1.2/hg", "hg.ini"},  // a dot in a folder is no extension
        {".hidden", ".hidden.ini"},  // nor is a leading dot
        {"name.", "name.ini"},
        {"with space", "with space.ini"},
        {"", ""},
        {"bin/", ""},
        {".", ""},
        {"..", ""},
    };
    for (const auto &[invokedAs, expected] : cases)
        EXPECT_EQ(hg::SettingsFileName(invokedAs), expected) << "invoked as \"" << invokedAs << '"';
}

TEST(SettingsFile, PathIsInTheProductFolderWhichIsMadePrivate)
{
    TempDir tmp;
    ::umask(022);
    const fs::path config = tmp.path() / "new" / "config";
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());

    const std::string path = hg::GetSettingsFilePath("/usr/local/bin/hushgauge");
    EXPECT_EQ(path, (config / "Orvelle" / "Hushgauge" / "hushgauge.ini").string());
    // The missing folders exist now, private to the user; nothing else is made.
    EXPECT_EQ(TreeOf(tmp.path()), (std::set<std::string>{"new/", "new/config/", "new/config/Orvelle/",
                                                           "new/config/Orvelle/Hushgauge/"}));
    for (const fs::path &made : {tmp.path() / "new", config, config / "Orvelle", config / "Orvelle" / "Hushgauge"})
        EXPECT_EQ(ModeOf(made), 0700u) << made;

    // A second call finds the folders and leaves a folder that was there alone.
    fs::permissions(config / "Orvelle", fs::perms(0755));
    EXPECT_EQ(hg::GetSettingsFilePath("hushgauge"), path);
    EXPECT_EQ(ModeOf(config / "Orvelle"), 0755u);
}

TEST(SettingsFile, NoConfigurationFolderGivesNoPath)
{
    // Without any configuration folder there is no settings file; nothing is
    // made at the root of the file system instead.
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(hg::GetSettingsFilePath("hushgauge"), "");
    EXPECT_EQ(hg::ReadProfileInt("", "Display", "Scaling", 7), 7);
}

TEST(SettingsFile, EmptyInvokedNameFallsBackToTheExecutable)
{
    TempDir tmp;
    ScopedEnv xdg("XDG_CONFIG_HOME", tmp.path().c_str());
    const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
    EXPECT_EQ(hg::GetSettingsFilePath(""), (tmp.path() / "Orvelle/Hushgauge" / (self + ".ini")).string());
    EXPECT_EQ(hg::GetSettingsFilePath("dir/"), hg::GetSettingsFilePath(""));
}

TEST(SettingsFile, ParsesOnlyWholeInt32Numbers)
{
    const std::pair<const char *, std::optional<std::int32_t>> cases[] = {
        {"96", 96},
        {"+96", 96},
        {"-5", -5},
        {"007", 7},
        {" \t120 \r", 120},
        {"0x90", 144},
        {"0X90", 144},
        {"$90", 144},
        {"$fF", 255},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", INT32_MAX},
        {"000000000000000000000096", 96},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"0x80000000", std::nullopt}, // hexadecimal is a magnitude, not a bit pattern
        {"0xFFFFFFFF", std::nullopt},
        {"-0x10", std::nullopt},
        {"+$10", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"0x1g", std::nullopt},
        {"\xd9\xa1\xd9\xa2", std::nullopt}, // non-ASCII digits
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(hg::ParseProfileInt(text), expected) << "text \"" << text << '"';
}

// The whole read as start-up does it: a settings file of this content in a
// temporary configuration folder, the value, and the PPI that start-up takes
// from it (0 = automatic, from the monitor).
TEST(SettingsFile, ScalingSettingGivesThePPI)
{
    struct Case {
        const char *what;
        std::optional<std::string> content; // nullopt: no file at all
        std::int32_t ppi;
    };
    const Case cases[] = {
        {"no file", std::nullopt, 0},
        {"empty file", "", 0},
        {"no section", "Scaling=144\n", 0},
        {"other section", "[Window]\nScaling=144\n", 0},
        {"no key", "[Display]\nZoom=144\n", 0},
        {"design size", "[Display]\nScaling=96\n", 96},
        {"0x hexadecimal", "[Display]\nScaling=0x90\n", 144},
        {"$ hexadecimal", "[Display]\nScaling=$90\n", 144},
        {"blanks around", "[Display]\nScaling= \t 120  \n", 120},
        {"blanks around the names", "[ Display ]\n  Scaling =120\n", 120},
        {"CRLF lines", "[Display]\r\nScaling=120\r\n", 120},
        {"inline comment", "[Display]\nScaling=120 ; 125 %\n", 120},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF[Display]\nScaling=120\n", 120},
        {"trailing letters", "[Display]\nScaling=12abc\n", 0},
        {"beyond 32 bits", "[Display]\nScaling=99999999999\n", 0},
        {"negative", "[Display]\nScaling=-5\n", 0},
        {"absurdly large", "[Display]\nScaling=100000\n", 0},
        {"too small to use", "[Display]\nScaling=47\n", 0},
        {"smallest usable", "[Display]\nScaling=48\n", 48},
        {"largest usable", "[Display]\nScaling=0x3C0\n", 960},
        {"too large to use", "[Display]\nScaling=961\n", 0},
        {"empty value", "[Display]\nScaling=\n", 0},
        {"no value at all", "[Display]\nScaling\n", 0},
        {"explicit automatic", "[Display]\nScaling=0\n", 0},
        {"binary junk", Bytes("\x00\xff\x01[Display\x00]\nScal\xfe\x00ing=\x80\x90\n\x1b[Display]"), 0},
        {"junk before the value", Bytes("\x7f\x00\x01\xff\n[Display]\nScaling=144\n"), 144},
        {"names in other case", "[DISPLAY]\nsCaLiNg=144\n", 144},
        {"first key wins", "[Display]\nScaling=120\nScaling=144\n", 120},
        {"first key wins over a later section",
         "[Display]\nScaling=120\n[Other]\nScaling=1\n[display]\nSCALING=144\n", 120},
        {"an invalid first key is not passed over", "[Display]\nScaling=big\nScaling=144\n", 0},
        {"continued value line", "[Display]\nScaling=120\n  144\n", 120},
        {"very long line before", "[Display]\nX=" + std::string(5000, 'a') + "\nScaling=144\n", 144},
    };
    for (const Case &c : cases) {
        TempDir tmp;
        ScopedEnv xdg("XDG_CONFIG_HOME", tmp.path().c_str());
        const fs::path file = tmp.path() / "Orvelle/Hushgauge/hgtest.ini";
        if (c.content)
            WriteFile(file, *c.content);
        const auto before = TreeOf(tmp.path());

        const std::string path = hg::GetSettingsFilePath("/opt/hg/hgtest");
        ASSERT_EQ(path, file.string()) << c.what;
        const std::int32_t ppi = hg::UsableScalingSetting(hg::ReadProfileInt(path, "Display", "Scaling", 0));
        EXPECT_EQ(ppi, c.ppi) << c.what;

        // Reading writes nothing: the tree is what it was, but for the
        // folders made when there was no file.
        auto expected = before;
        expected.insert({"Orvelle/", "Orvelle/Hushgauge/"});
        EXPECT_EQ(TreeOf(tmp.path()), expected) << c.what;
        if (c.content) {
            std::ifstream in(file, std::ios::binary);
            const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(after, *c.content) << c.what << ": the file is left as it was";
        }
    }
}

TEST(SettingsFile, FolderThatCannotBeMadeStillGivesThePath)
{
    TempDir tmp;
    // A regular file where the configuration folder should be: no folder can
    // be made below it, whoever runs the test.
    const fs::path blocker = tmp.path() / "config";
    WriteFile(blocker, "not a folder");
    ScopedEnv xdg("XDG_CONFIG_HOME", blocker.c_str());

    const std::string path = hg::GetSettingsFilePath("hushgauge");
    EXPECT_EQ(path, (blocker / "Orvelle/Hushgauge/hushgauge.ini").string());
    EXPECT_EQ(hg::ReadProfileInt(path, "Display", "Scaling", 0), 0);
    EXPECT_EQ(TreeOf(tmp.path()), std::set<std::string>{"config"});
}

TEST(SettingsFile, OnlyARegularFileIsRead)
{
    TempDir tmp;
    const fs::path folder = tmp.path() / "hg.ini";
    fs::create_directory(folder);
    EXPECT_EQ(hg::ReadProfileInt(folder.string(), "Display", "Scaling", -1), -1) << "a folder";

    // A fifo would block an ordinary open until a writer comes: the read
    // must neither wait for one nor take anything from it.
    const fs::path fifo = tmp.path() / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(hg::ReadProfileInt(fifo.string(), "Display", "Scaling", -1), -1) << "a fifo";

    const fs::path link = tmp.path() / "link.ini";
    WriteFile(tmp.path() / "real.ini", "[Display]\nScaling=120\n");
    fs::create_symlink(tmp.path() / "real.ini", link);
    EXPECT_EQ(hg::ReadProfileInt(link.string(), "Display", "Scaling", -1), 120) << "a link to a file";
}
