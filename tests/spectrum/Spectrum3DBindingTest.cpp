// Tests of the run-time binding (which library sets bind, all-or-nothing,
// freeing, the once-only unit start-up, where libraries are looked for) and
// of the data sources and sample rates read through it, against the
// stand-in libraries of tests/fixtures/.
#include "Spectrum3DBinding.h"
#include "Spectrum3DData.h"

#include "fixture_control.h"

#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace hg {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = HG_FIXTURES_DIR;

std::string Folder(const std::string &set) { return kFixtures + "/" + set; }

bool IsLoaded(const std::string &path)
{
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr)
        return false;
    dlclose(h);
    return true;
}

// Is any object of this file name loaded, from wherever?
bool AnyLoadedNamed(const char *file)
{
    struct TSearch {
        const char *file;
        bool found;
    } s{file, false};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<TSearch *>(data);
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (fs::path(name).filename() == s->file)
                s->found = true;
            return 0;
        },
        &s);
    return s.found;
}

// The control functions of one stand-in library (fixture_control.h). Holds
// its own reference to the library while it lives.
class TFixture {
public:
    TFixture(const std::string &set, const char *file) : path_(Folder(set) + "/" + file)
    {
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr)
            throw std::runtime_error("cannot open fixture " + path_);
        reset_ = reinterpret_cast<decltype(reset_)>(dlsym(handle_, "hgfix_reset"));
        set_ = reinterpret_cast<decltype(set_)>(dlsym(handle_, "hgfix_set"));
        get_ = reinterpret_cast<decltype(get_)>(dlsym(handle_, "hgfix_get"));
        log_ = reinterpret_cast<decltype(log_)>(dlsym(handle_, "hgfix_log"));
        reset_();
    }
    ~TFixture() { dlclose(handle_); }
    TFixture(const TFixture &) = delete;
    TFixture &operator=(const TFixture &) = delete;

    void Set(const char *key, double value) { set_(key, value); }
    double Get(const char *key) { return get_(key); }
    std::string Log() { return log_(); }
    void Reset() { reset_(); }

private:
    std::string path_;
    void *handle_ = nullptr;
    decltype(&hgfix_reset) reset_;
    decltype(&hgfix_set) set_;
    decltype(&hgfix_get) get_;
    decltype(&hgfix_log) log_;
};

void UnloadAll(TAudioBinding &b)
{
    b.UnloadBASSmix();
    b.UnloadBASSWASAPI();
    b.UnloadBASS();
}

TEST(Spectrum3DBinding, EachLibraryBindsAllOrNothing)
{
    struct TCase {
        const char *set;
        bool core, mix, device;
    };
    const TCase cases[] = {
        {"full", true, true, true},
        {"coreonly", true, false, false},  // what the product ships
        {"nodevinfo", true, false, false}, // device add-on lacks one entry point
        {"corelacking", false, true, false},
        {"empty", false, false, false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.set);
        const std::string folder = Folder(c.set);
        TAudioBinding b;
        EXPECT_EQ(b.LoadBASS(folder), c.core);
        EXPECT_EQ(b.LoadBASSmix(folder), c.mix);
        EXPECT_EQ(b.LoadBASSWASAPI(folder), c.device);

        EXPECT_EQ(b.BASSLoaded, c.core);
        EXPECT_EQ(b.BASSmixLoaded, c.mix);
        EXPECT_EQ(b.BASSWASAPILoaded, c.device);
        EXPECT_EQ(b.BASSModule != nullptr, c.core);
        EXPECT_EQ(b.BASSmixModule != nullptr, c.mix);
        EXPECT_EQ(b.BASSWASAPIModule != nullptr, c.device);
        if (c.core) {
            EXPECT_TRUE(b.BASS_ChannelGetInfo && b.BASS_ChannelIsActive && b.BASS_ChannelGetData);
        }
        if (c.device) {
            EXPECT_TRUE(b.BASS_WASAPI_GetDevice && b.BASS_WASAPI_SetDevice && b.BASS_WASAPI_GetDeviceInfo &&
                        b.BASS_WASAPI_GetInfo && b.BASS_WASAPI_GetData);
        }

        // A library that lacked an entry point has been freed again.
        EXPECT_EQ(IsLoaded(folder + "/" + kCoreLibraryFile), c.core);
        EXPECT_EQ(IsLoaded(folder + "/" + kMixerLibraryFile), c.mix);
        EXPECT_EQ(IsLoaded(folder + "/" + kDeviceLibraryFile), c.device);

        // Unloading gives back exactly what was bound.
        EXPECT_EQ(b.UnloadBASSmix(), c.mix);
        EXPECT_EQ(b.UnloadBASSWASAPI(), c.device);
        EXPECT_EQ(b.UnloadBASS(), c.core);
        EXPECT_FALSE(b.BASSLoaded || b.BASSmixLoaded || b.BASSWASAPILoaded);
        EXPECT_FALSE(b.BASSModule || b.BASSmixModule || b.BASSWASAPIModule);
        EXPECT_FALSE(IsLoaded(folder + "/" + kCoreLibraryFile));
        EXPECT_FALSE(IsLoaded(folder + "/" + kMixerLibraryFile));
        EXPECT_FALSE(IsLoaded(folder + "/" + kDeviceLibraryFile));
    }
}

TEST(Spectrum3DBinding, EveryNameIsLookedUpEvenAfterAMiss)
{
    // The stand-in lacks BASS_ChannelGetInfo, the first name of its row; the
    // names after it are still found, but the library stays off.
    TAudioBinding b;
    EXPECT_FALSE(b.LoadBASS(Folder("corelacking")));
    EXPECT_EQ(b.BASS_ChannelGetInfo, nullptr);
    EXPECT_NE(b.BASS_ChannelIsActive, nullptr);
    EXPECT_NE(b.BASS_ChannelGetData, nullptr);
    EXPECT_FALSE(b.BASSLoaded);

    EXPECT_FALSE(b.LoadBASSWASAPI(Folder("nodevinfo")));
    EXPECT_NE(b.BASS_WASAPI_GetData, nullptr); // looked up after the missing one
    EXPECT_EQ(b.BASS_WASAPI_GetDeviceInfo, nullptr);
}

TEST(Spectrum3DBinding, UnloadingWhatIsNotLoadedChangesNothing)
{
    TAudioBinding b;
    EXPECT_FALSE(b.LoadBASS(Folder("empty")));
    EXPECT_FALSE(b.LoadBASSmix(Folder("empty")));
    EXPECT_FALSE(b.LoadBASSWASAPI(Folder("empty")));
    EXPECT_FALSE(b.UnloadBASSmix());
    EXPECT_FALSE(b.UnloadBASSWASAPI());
    EXPECT_FALSE(b.UnloadBASS());
    EXPECT_FALSE(b.BASSLoaded || b.BASSmixLoaded || b.BASSWASAPILoaded);
}

TEST(Spectrum3DBinding, LoadingTwiceKeepsOneBinding)
{
    TAudioBinding b;
    ASSERT_TRUE(b.LoadBASSmix(Folder("full")));
    void *first = b.BASSmixModule;
    EXPECT_TRUE(b.LoadBASSmix(Folder("full")));
    EXPECT_EQ(b.BASSmixModule, first);
    EXPECT_TRUE(b.UnloadBASSmix());
    EXPECT_FALSE(IsLoaded(Folder("full") + "/" + kMixerLibraryFile));
}

TEST(Spectrum3DBinding, LoadingKeepsTheFloatingPointEnvironment)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    TAudioBinding b;
    ASSERT_TRUE(b.LoadBASSmix(Folder("fenv")));
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    EXPECT_TRUE(b.UnloadBASSmix());
    std::fesetround(FE_TONEAREST);
}

TEST(Spectrum3DBinding, OnlyAnAbsoluteFolderIsSearched)
{
    const fs::path before = fs::current_path();
    fs::current_path(kFixtures);
    TAudioBinding b;
    // "full" would resolve from here, but a relative folder loads nothing.
    EXPECT_FALSE(b.LoadBASSmix("full"));
    EXPECT_FALSE(b.LoadBASSmix(""));
    EXPECT_FALSE(b.LoadBASSmix("./full"));
    fs::current_path(before);
    EXPECT_FALSE(IsLoaded(Folder("full") + "/" + kMixerLibraryFile));
}

TEST(Spectrum3DBinding, TheProgramsLibraryFolderFollowsItsLocation)
{
    struct TCase {
        const char *exe, *folder;
    };
    const TCase cases[] = {
        {"/work/build/hushgauge", "/work/build/lib"},
        {"/usr/bin/hushgauge", "/usr/lib/hushgauge"},
        {"/opt/hg/bin/hushgauge", "/opt/hg/lib/hushgauge"},
        {"/bin/hushgauge", "/lib/hushgauge"},
        {"/work/binaries/hushgauge", "/work/binaries/lib"},
        {"hushgauge", ""}, // no folder: nothing is loaded
    };
    for (const TCase &c : cases)
        EXPECT_EQ(ProgramLibraryFolder(c.exe), c.folder) << c.exe;
    // This test program sits at the top of the build folder.
    EXPECT_EQ(OwnLibraryFolder(), fs::canonical("/proc/self/exe").parent_path().string() + "/lib");
}

// The folder the planting test fills: libraries of the right names where a
// plain-name search would find them.
const std::string kPlanted = kFixtures + "/planted";

void Plant()
{
    fs::create_directories(kPlanted);
    for (const char *file : {kCoreLibraryFile, kMixerLibraryFile, kDeviceLibraryFile})
        fs::copy_file(Folder("full") + "/" + file, kPlanted + "/" + file, fs::copy_options::overwrite_existing);
}

TEST(Spectrum3DBindingDeathTest, PlantedLibrariesAreNeverLoaded)
{
    // A child process started afresh with LD_LIBRARY_PATH pointing at the
    // planted folder, and that folder as its current folder: the dynamic
    // loader itself would find the libraries there by name.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Plant();
    const std::string previousPath = getenv("LD_LIBRARY_PATH") ? getenv("LD_LIBRARY_PATH") : "";
    setenv("LD_LIBRARY_PATH", kPlanted.c_str(), 1);
    const fs::path before = fs::current_path();
    fs::current_path(kPlanted);
    EXPECT_EXIT(
        {
            Spectrum3DUnitStartup(); // the product's start-up: its own folder only
            const TAudioBinding &b = Spectrum3DBinding();
            int code = 0;
            if (b.BASSmixLoaded || b.BASSWASAPILoaded)
                code = 1;
            if (AnyLoadedNamed(kMixerLibraryFile) || AnyLoadedNamed(kDeviceLibraryFile))
                code = 2;
            if (IsLoaded(kPlanted + "/" + kCoreLibraryFile))
                code = 3;
            // The search path really is in force in this process: a plain
            // name finds the planted file.
            void *h = dlopen(kMixerLibraryFile, RTLD_NOW | RTLD_LOCAL);
            if (h == nullptr)
                code = 4;
            Spectrum3DUnitShutdown();
            std::_Exit(code);
        },
        testing::ExitedWithCode(0), "");
    fs::current_path(before);
    if (previousPath.empty())
        unsetenv("LD_LIBRARY_PATH");
    else
        setenv("LD_LIBRARY_PATH", previousPath.c_str(), 1);
    fs::remove_all(kPlanted);
}

TEST(Spectrum3DBinding, UnitStartupAndShutdownWorkOnce)
{
    const std::string folder = Folder("full");
    const std::string mix = folder + "/" + kMixerLibraryFile;
    TAudioBinding &b = Spectrum3DBinding();

    // A shutdown before any start-up does nothing, and does not disturb the
    // count of a later start-up.
    Spectrum3DUnitShutdown();
    Spectrum3DUnitStartup(folder);
    EXPECT_TRUE(b.BASSLoaded && b.BASSmixLoaded && b.BASSWASAPILoaded);
    void *module = b.BASSmixModule;
    Spectrum3DUnitStartup(Folder("empty")); // a second start-up does nothing
    EXPECT_EQ(b.BASSmixModule, module);
    Spectrum3DUnitShutdown(); // matches the second start-up: still bound
    EXPECT_TRUE(b.BASSLoaded && b.BASSmixLoaded && b.BASSWASAPILoaded);
    EXPECT_TRUE(IsLoaded(mix));
    Spectrum3DUnitShutdown(); // the last one gives everything back
    EXPECT_FALSE(b.BASSLoaded || b.BASSmixLoaded || b.BASSWASAPILoaded);
    EXPECT_FALSE(IsLoaded(mix));
    EXPECT_FALSE(IsLoaded(folder + "/" + kCoreLibraryFile));
    EXPECT_FALSE(IsLoaded(folder + "/" + kDeviceLibraryFile));
    Spectrum3DUnitShutdown();

    // Start-up works again after a full cycle.
    Spectrum3DUnitStartup(folder);
    EXPECT_TRUE(b.BASSmixLoaded);
    Spectrum3DUnitShutdown();
    EXPECT_FALSE(b.BASSmixLoaded);
}

TEST(Spectrum3DBinding, TheRealCaptureLibraryBindsFromTheProgramsFolder)
{
    const std::string folder = OwnLibraryFolder();
    if (!fs::exists(folder + "/" + kCoreLibraryFile))
        GTEST_SKIP() << "the capture library is not built in " << folder;
    TAudioBinding b;
    ASSERT_TRUE(b.LoadBASS(folder));
    EXPECT_FALSE(b.LoadBASSmix(folder)); // the product ships no add-ons
    EXPECT_FALSE(b.LoadBASSWASAPI(folder));
    // No channel has been started: the display draws a flat curve.
    EXPECT_EQ(b.BASS_ChannelIsActive(0), BASS_ACTIVE_STOPPED);
    std::array<float, kValueBlockSize> block;
    block.fill(1.0f);
    const TFetchResult r = FetchFFTData(b, {}, 0, BASS_DATA_FFT4096, block);
    EXPECT_EQ(r.outcome, TFetchOutcome::Zeros);
    EXPECT_EQ(block[100], 0.0f);
    EXPECT_TRUE(b.UnloadBASS());
}

// Data sources, over the bindings of one fixture set.
class TDataSources : public testing::Test {
protected:
    void Bind(const std::string &set)
    {
        UnloadAll(lib);
        lib.LoadBASS(Folder(set));
        lib.LoadBASSmix(Folder(set));
        lib.LoadBASSWASAPI(Folder(set));
    }
    void SetUp() override
    {
        Bind("full");
        block.fill(-3.0f); // garbage the fetch must clear
    }
    void TearDown() override { UnloadAll(lib); }

    TFetchResult Fetch(DWORD channel, DWORD fftSize = BASS_DATA_FFT4096)
    {
        return FetchFFTData(lib, host, channel, fftSize, block);
    }
    bool BlockIs(float v, std::size_t from = 0, std::size_t to = kValueBlockSize)
    {
        for (std::size_t i = from; i < to; ++i)
            if (block[i] != v)
                return false;
        return true;
    }

    TAudioBinding lib;
    THostFFTSources host;
    std::array<float, kValueBlockSize> block;
    TFixture core{"full", kCoreLibraryFile};
    TFixture mix{"full", kMixerLibraryFile};
    TFixture device{"full", kDeviceLibraryFile};
};

struct THostCalls {
    int eventResult = 1;
    int callbackResult = 1;
    int eventCalls = 0;
    int callbackCalls = 0;
    void *display = nullptr;
    bool eventThrows = false;
};
THostCalls gHost;

int32_t HostEvent(void *context, float *data, int32_t count)
{
    auto *calls = static_cast<THostCalls *>(context);
    ++calls->eventCalls;
    for (int32_t i = 0; i < 10 && i < count; ++i)
        data[i] = 0.5f;
    if (calls->eventThrows)
        throw std::runtime_error("host failure");
    return calls->eventResult;
}

int32_t HostCallback(void *display, float *data, int32_t count)
{
    ++gHost.callbackCalls;
    gHost.display = display;
    for (int32_t i = 0; i < count; ++i)
        data[i] = 0.75f;
    return gHost.callbackResult;
}

TEST_F(TDataSources, TheHostsEventComesFirstAndItsZeroStopsEverything)
{
    gHost = THostCalls{};
    gHost.eventResult = 0;
    host.event = HostEvent;
    host.eventContext = &gHost;
    host.callback = HostCallback;
    const TFetchResult r = Fetch(3);
    EXPECT_EQ(r.outcome, TFetchOutcome::NoNewData);
    EXPECT_FALSE(r.exceptionRaised);
    EXPECT_EQ(gHost.eventCalls, 1);
    EXPECT_EQ(gHost.callbackCalls, 0);
    EXPECT_EQ(core.Log() + mix.Log() + device.Log(), "");

    gHost.eventResult = 1;
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::Values);
    EXPECT_TRUE(BlockIs(0.5f, 0, 10));
    EXPECT_TRUE(BlockIs(0.0f, 10)); // what the handler left alone is zero
    EXPECT_EQ(gHost.callbackCalls, 0);
}

TEST_F(TDataSources, TheHostsCallbackComesNext)
{
    gHost = THostCalls{};
    int display = 0;
    host.callback = HostCallback;
    host.display = &display;
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::Values);
    EXPECT_EQ(gHost.display, &display);
    EXPECT_TRUE(BlockIs(0.75f));
    gHost.callbackResult = 0;
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::NoNewData);
    EXPECT_EQ(core.Log() + mix.Log() + device.Log(), "");
}

TEST_F(TDataSources, AnExceptionIsReportedAndTheBlockStillConverted)
{
    gHost = THostCalls{};
    gHost.eventThrows = true;
    host.event = HostEvent;
    host.eventContext = &gHost;
    const TFetchResult r = Fetch(3);
    EXPECT_TRUE(r.exceptionRaised);
    EXPECT_EQ(r.outcome, TFetchOutcome::Values);
    EXPECT_TRUE(BlockIs(0.5f, 0, 10)); // what the handler wrote before it threw
    EXPECT_TRUE(BlockIs(0.0f, 10));
    EXPECT_STREQ(kFetchExceptionError, "Error: Exception: BASS_ChannelGetData()");
}

TEST_F(TDataSources, ADeviceChannelReadsItsDeviceAndRestoresTheCurrentOne)
{
    device.Set("current", 1);
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::Values);
    EXPECT_EQ(device.Log(), "BASS_WASAPI_GetDevice()=1;BASS_WASAPI_SetDevice(2)=1;"
                            "BASS_WASAPI_GetData(0x80000004)=8192;BASS_WASAPI_SetDevice(1)=1;");
    EXPECT_EQ(device.Get("current"), 1);
    EXPECT_TRUE(BlockIs(1.0f));
    EXPECT_EQ(core.Log() + mix.Log(), "");
}

TEST_F(TDataSources, ADeviceThatCannotBeReadGivesZeros)
{
    struct TCase {
        DWORD channel;
        double devices, getdataOk;
        const char *log;
    };
    const TCase cases[] = {
        {9, 4, 1, "BASS_WASAPI_GetDevice()=0;BASS_WASAPI_SetDevice(8)=0;BASS_WASAPI_SetDevice(0)=1;"},
        {2, 4, 0,
         "BASS_WASAPI_GetDevice()=0;BASS_WASAPI_SetDevice(1)=1;BASS_WASAPI_GetData(0x80000004)=-1;"
         "BASS_WASAPI_SetDevice(0)=1;"},
        {254, 300, 1,
         "BASS_WASAPI_GetDevice()=0;BASS_WASAPI_SetDevice(253)=1;BASS_WASAPI_GetData(0x80000004)=8192;"
         "BASS_WASAPI_SetDevice(0)=1;"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel);
        device.Reset();
        device.Set("devices", c.devices);
        device.Set("getdata_ok", c.getdataOk);
        block.fill(-3.0f);
        const bool ok = c.getdataOk != 0 && c.channel - 1 < c.devices;
        EXPECT_EQ(Fetch(c.channel).outcome, ok ? TFetchOutcome::Values : TFetchOutcome::Zeros);
        EXPECT_TRUE(BlockIs(ok ? 1.0f : 0.0f));
        EXPECT_EQ(device.Log(), c.log);
        EXPECT_EQ(device.Get("current"), 0);
    }
    EXPECT_EQ(core.Log(), "");
}

TEST_F(TDataSources, OtherChannelsTakeTheCaptureLibrarysPath)
{
    struct TCase {
        DWORD channel;
        double active, mixResult, available;
        TFetchOutcome outcome;
        float value;
        const char *coreLog, *mixLog;
    };
    const TCase cases[] = {
        // Channel 255 and up, and 0, are no device numbers.
        {255, 1, 0, 8192, TFetchOutcome::Values, 0.25f, "BASS_ChannelIsActive(255)=1;",
         "BASS_Mixer_ChannelGetData(255,0x80000004)=8192;"},
        {0, 0, 0, 8192, TFetchOutcome::Zeros, 0.0f, "BASS_ChannelIsActive(0)=0;", ""},
        // An inactive channel: zeros, nothing read.
        {70000, 0, 0, 8192, TFetchOutcome::Zeros, 0.0f, "BASS_ChannelIsActive(70000)=0;", ""},
        // Not a mixer source: the probe, then the plain read.
        {70000, 1, -1, 8192, TFetchOutcome::Values, 0.0625f,
         "BASS_ChannelIsActive(70000)=1;BASS_ChannelGetData(70000,0x0)=8192;"
         "BASS_ChannelGetData(70000,0x80000004)=8192;",
         "BASS_Mixer_ChannelGetData(70000,0x80000004)=-1;"},
        // Active, but nothing captured yet: no update.
        {70000, 1, -1, 0, TFetchOutcome::NoNewData, -3.0f,
         "BASS_ChannelIsActive(70000)=1;BASS_ChannelGetData(70000,0x0)=0;",
         "BASS_Mixer_ChannelGetData(70000,0x80000004)=-1;"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel);
        core.Reset();
        mix.Reset();
        device.Reset();
        core.Set("active", c.active);
        core.Set("available", c.available);
        mix.Set("result", c.mixResult);
        block.fill(-3.0f);
        EXPECT_EQ(Fetch(c.channel).outcome, c.outcome);
        if (c.outcome != TFetchOutcome::NoNewData) {
            EXPECT_TRUE(BlockIs(c.value));
        }
        EXPECT_EQ(core.Log(), c.coreLog);
        EXPECT_EQ(mix.Log(), c.mixLog);
        EXPECT_EQ(device.Log(), "");
    }
}

TEST_F(TDataSources, WithoutTheMixerTheChannelIsReadDirectly)
{
    Bind("coreonly");
    TFixture only("coreonly", kCoreLibraryFile);
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::Values);
    EXPECT_EQ(only.Log(), "BASS_ChannelIsActive(3)=1;BASS_ChannelGetData(3,0x0)=8192;"
                          "BASS_ChannelGetData(3,0x80000004)=8192;");
    EXPECT_TRUE(BlockIs(0.0625f));
}

TEST_F(TDataSources, WithoutACompleteCaptureLibraryEveryPathIsOff)
{
    Bind("corelacking");
    TFixture lacking("corelacking", kCoreLibraryFile);
    TFixture lackingMix("corelacking", kMixerLibraryFile);
    ASSERT_TRUE(lib.BASSmixLoaded);
    EXPECT_EQ(Fetch(3).outcome, TFetchOutcome::Zeros);
    EXPECT_TRUE(BlockIs(0.0f));
    EXPECT_EQ(lacking.Log() + lackingMix.Log(), "");
    EXPECT_EQ(CaptionSampleRate(lib, 0, 3), 48000);
}

TEST_F(TDataSources, RequestsLargerThanTheBlockAreClamped)
{
    struct TCase {
        DWORD request, passed;
    };
    const TCase cases[] = {
        {BASS_DATA_FFT4096, BASS_DATA_FFT4096},
        {BASS_DATA_FFT1024, BASS_DATA_FFT1024},
        {BASS_DATA_FFT8192, BASS_DATA_FFT4096},
        {BASS_DATA_FFT32768, BASS_DATA_FFT4096},
        {0x8000FFFFu, BASS_DATA_FFT4096},
        {400, 400},
        {8192, 8192},
        {100000, 8192},
    };
    for (const TCase &c : cases) {
        EXPECT_EQ(ClampFFTRequest(c.request), c.passed) << std::hex << c.request;
        // Through every library read: the stand-ins write what the request
        // asks for, so an unclamped request would overrun the block.
        core.Reset();
        mix.Reset();
        device.Reset();
        mix.Set("result", 0);
        Fetch(70000, c.request);
        char expected[64];
        std::snprintf(expected, sizeof expected, "BASS_Mixer_ChannelGetData(70000,0x%x)", c.passed);
        EXPECT_EQ(mix.Log().rfind(expected, 0), 0u) << mix.Log();
        Fetch(3, c.request);
        std::snprintf(expected, sizeof expected, "BASS_WASAPI_GetData(0x%x)", c.passed);
        EXPECT_NE(device.Log().find(expected), std::string::npos) << device.Log();
    }
    // A smaller spectrum fills the front of the block; the rest is zero.
    mix.Set("result", 0);
    Fetch(70000, BASS_DATA_FFT1024);
    EXPECT_TRUE(BlockIs(0.25f, 0, 512));
    EXPECT_TRUE(BlockIs(0.0f, 512));
}

TEST_F(TDataSources, SampleRateFollowsTheSameChoiceOfSource)
{
    core.Set("freq", 22050);
    EXPECT_EQ(CaptionSampleRate(lib, 44100, 3), 44100);
    EXPECT_EQ(CaptionSampleRate(lib, -1, 3), 48000);
    EXPECT_EQ(core.Log() + device.Log(), "");

    device.Set("current", 2);
    EXPECT_EQ(CaptionSampleRate(lib, 0, 3), 96000);
    EXPECT_EQ(device.Log(), "BASS_WASAPI_GetDevice()=2;BASS_WASAPI_SetDevice(2)=1;BASS_WASAPI_GetInfo()=1;"
                            "BASS_WASAPI_SetDevice(2)=1;");
    device.Reset();
    device.Set("devices", 1);
    EXPECT_EQ(CaptionSampleRate(lib, 0, 3), 48000); // device 2 cannot be made current
    EXPECT_EQ(device.Log(), "BASS_WASAPI_GetDevice()=0;BASS_WASAPI_SetDevice(2)=0;BASS_WASAPI_SetDevice(0)=1;");

    EXPECT_EQ(CaptionSampleRate(lib, 0, 300), 22050);
    EXPECT_EQ(core.Log(), "BASS_ChannelGetInfo(300)=1;");
    core.Set("freq", 0);
    EXPECT_EQ(CaptionSampleRate(lib, 0, 300), 48000);

    Bind("empty");
    EXPECT_EQ(CaptionSampleRate(lib, 0, 3), 48000);
}

} // namespace
} // namespace hg
