// Run-time binding of the capture library and its add-ons (see
// Spectrum3DBinding.h). Start-up/shutdown thread only.
#include "Spectrum3DBinding.h"

#include <atomic>
#include <cfenv>
#include <cstddef>
#include <dlfcn.h>
#include <unistd.h>

namespace hg {
namespace {

// Loads `file` from `folder`; on success looks up every name into `found`
// (each looked up, even after a miss). Keeps the library only if all were
// found. The floating-point environment is restored after the load, since a
// library's start-up code may change it.
template <std::size_t N>
bool LoadGroup(const std::string &folder, const char *file, const char *const (&names)[N],
               void *&module, bool &flag, void *(&found)[N])
{
    if (flag)
        return true;
    if (folder.empty() || folder.front() != '/')
        return false;
    const std::string path = folder + "/" + file;
    std::fenv_t env;
    std::fegetenv(&env);
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::fesetenv(&env);
    if (module == nullptr)
        return false;
    bool all = true;
    for (std::size_t i = 0; i < N; ++i) {
        found[i] = dlsym(module, names[i]);
        all = all && found[i] != nullptr;
    }
    if (all) {
        flag = true;
        return true;
    }
    dlclose(module);
    module = nullptr;
    flag = false;
    return false;
}

bool UnloadGroup(void *&module, bool &flag)
{
    if (module == nullptr)
        return false;
    if (dlclose(module) != 0)
        return false;
    module = nullptr;
    flag = false;
    return true;
}

template <class F>
void Bind(F &target, void *symbol)
{
    target = reinterpret_cast<F>(symbol);
}

} // namespace

std::string ProgramLibraryFolder(std::string_view executablePath)
{
    const std::size_t slash = executablePath.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    const std::string_view dir = executablePath.substr(0, slash);
    const std::size_t parentSlash = dir.rfind('/');
    if (parentSlash != std::string_view::npos && dir.substr(parentSlash + 1) == "bin")
        return std::string(dir.substr(0, parentSlash)) + "/lib/hushgauge";
    return std::string(dir) + "/lib";
}

std::string OwnLibraryFolder()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || buf[0] != '/')
        return {};
    return ProgramLibraryFolder(std::string_view(buf, static_cast<std::size_t>(n)));
}

bool TAudioBinding::LoadBASS(const std::string &folder)
{
    static const char *const names[] = {"BASS_ChannelGetInfo", "BASS_ChannelIsActive",
                                        "BASS_ChannelGetData"};
    void *found[3] = {};
    const bool ok = LoadGroup(folder, kCoreLibraryFile, names, BASSModule, BASSLoaded, found);
    if (found[0] || found[1] || found[2]) {
        Bind(BASS_ChannelGetInfo, found[0]);
        Bind(BASS_ChannelIsActive, found[1]);
        Bind(BASS_ChannelGetData, found[2]);
    }
    return ok;
}

bool TAudioBinding::LoadBASSmix(const std::string &folder)
{
    static const char *const names[] = {"BASS_Mixer_ChannelGetData"};
    void *found[1] = {};
    const bool ok = LoadGroup(folder, kMixerLibraryFile, names, BASSmixModule, BASSmixLoaded, found);
    if (found[0])
        Bind(BASS_Mixer_ChannelGetData, found[0]);
    return ok;
}

bool TAudioBinding::LoadBASSWASAPI(const std::string &folder)
{
    static const char *const names[] = {"BASS_WASAPI_GetDevice", "BASS_WASAPI_SetDevice",
                                        "BASS_WASAPI_GetDeviceInfo", "BASS_WASAPI_GetInfo",
                                        "BASS_WASAPI_GetData"};
    void *found[5] = {};
    const bool ok =
        LoadGroup(folder, kDeviceLibraryFile, names, BASSWASAPIModule, BASSWASAPILoaded, found);
    if (found[0] || found[1] || found[2] || found[3] || found[4]) {
        Bind(BASS_WASAPI_GetDevice, found[0]);
        Bind(BASS_WASAPI_SetDevice, found[1]);
        Bind(BASS_WASAPI_GetDeviceInfo, found[2]);
        Bind(BASS_WASAPI_GetInfo, found[3]);
        Bind(BASS_WASAPI_GetData, found[4]);
    }
    return ok;
}

bool TAudioBinding::UnloadBASS() { return UnloadGroup(BASSModule, BASSLoaded); }
bool TAudioBinding::UnloadBASSmix() { return UnloadGroup(BASSmixModule, BASSmixLoaded); }
bool TAudioBinding::UnloadBASSWASAPI() { return UnloadGroup(BASSWASAPIModule, BASSWASAPILoaded); }

namespace {
// Start-ups count it down, shutdowns back up to 0: only the first start-up
// (0 -> -1) and the shutdown that brings it back to 0 do their work.
std::atomic<int> gInitCounter{0};
} // namespace

TAudioBinding &Spectrum3DBinding()
{
    static TAudioBinding binding;
    return binding;
}

void Spectrum3DUnitStartup() { Spectrum3DUnitStartup(OwnLibraryFolder()); }

void Spectrum3DUnitStartup(const std::string &folder)
{
    if (gInitCounter.fetch_sub(1, std::memory_order_relaxed) != 0)
        return;
    TAudioBinding &b = Spectrum3DBinding();
    b.LoadBASS(folder);
    b.LoadBASSmix(folder);
    b.LoadBASSWASAPI(folder);
}

void Spectrum3DUnitShutdown()
{
    int value = gInitCounter.load(std::memory_order_relaxed);
    // A shutdown without a start-up changes nothing.
    do {
        if (value >= 0)
            return;
    } while (!gInitCounter.compare_exchange_weak(value, value + 1, std::memory_order_relaxed));
    if (value + 1 != 0)
        return;
    TAudioBinding &b = Spectrum3DBinding();
    b.UnloadBASSmix();
    b.UnloadBASSWASAPI();
    b.UnloadBASS();
}

} // namespace hg
