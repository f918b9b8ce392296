// Run-time binding of the capture library and its two optional add-ons for
// the spectrum display: each library is looked for by an absolute path in the
// program's own library folder only, and is used all-or-nothing.
//
// Threads: loading and unloading happen on the thread that starts and shuts
// the display unit down, before the first display exists and after the last
// one has stopped. In between any number of render threads read the flags
// and call through the pointers at once; nothing writes them then, so plain
// fields are race-free (thread creation and joining order the accesses).
#pragma once

#include "hushcapture.h"
#include "hushcapture_addons.h"

#include <string>
#include <string_view>

namespace hg {

// File names of the three libraries.
inline constexpr const char *kCoreLibraryFile = "libhushcapture.so";
inline constexpr const char *kMixerLibraryFile = "libhushcapture_mix.so";
inline constexpr const char *kDeviceLibraryFile = "libhushcapture_device.so";

// The program's own library folder for an executable at `executablePath`
// (an absolute path): "<prefix>/lib/hushgauge" for a program installed as
// "<prefix>/bin/<name>", else "lib" beside the program (the build folder's
// layout). This is the one place that decides where libraries come from.
std::string ProgramLibraryFolder(std::string_view executablePath);

// ProgramLibraryFolder of the running executable (/proc/self/exe); empty
// when that cannot be read, in which case nothing is loaded.
std::string OwnLibraryFolder();

// One set of bindings. The display unit keeps one for the whole process
// (Spectrum3DBinding()); tests make their own.
//
// Invariant: a flag is true only while its library is loaded and every one
// of its entry points was found; the pointers are called only under it.
struct TAudioBinding {
    // Capture library.
    void *BASSModule = nullptr;
    bool BASSLoaded = false;
    decltype(&::BASS_ChannelGetInfo) BASS_ChannelGetInfo = nullptr;
    decltype(&::BASS_ChannelIsActive) BASS_ChannelIsActive = nullptr;
    decltype(&::BASS_ChannelGetData) BASS_ChannelGetData = nullptr;

    // Mixer add-on.
    void *BASSmixModule = nullptr;
    bool BASSmixLoaded = false;
    decltype(&::BASS_Mixer_ChannelGetData) BASS_Mixer_ChannelGetData = nullptr;

    // Device add-on. BASS_WASAPI_GetDeviceInfo is never called, but an
    // add-on without it is not used.
    void *BASSWASAPIModule = nullptr;
    bool BASSWASAPILoaded = false;
    decltype(&::BASS_WASAPI_GetDevice) BASS_WASAPI_GetDevice = nullptr;
    decltype(&::BASS_WASAPI_SetDevice) BASS_WASAPI_SetDevice = nullptr;
    decltype(&::BASS_WASAPI_GetDeviceInfo) BASS_WASAPI_GetDeviceInfo = nullptr;
    decltype(&::BASS_WASAPI_GetInfo) BASS_WASAPI_GetInfo = nullptr;
    decltype(&::BASS_WASAPI_GetData) BASS_WASAPI_GetData = nullptr;

    // Each loads its library from `folder` (an absolute path; anything else
    // loads nothing), looks up every entry point by name even after a miss,
    // and keeps the library only when all were found: otherwise it is freed
    // again and the flag stays false. True when the library is bound. A
    // library that is bound already is left as it is (true).
    bool LoadBASS(const std::string &folder);
    bool LoadBASSmix(const std::string &folder);
    bool LoadBASSWASAPI(const std::string &folder);

    // Each frees its library: false when it was not loaded, or when freeing
    // fails (then handle and flag stay as they are).
    bool UnloadBASS();
    bool UnloadBASSmix();
    bool UnloadBASSWASAPI();
};

// The display unit's bindings, shared by all displays.
TAudioBinding &Spectrum3DBinding();

// Unit start-up: binds the three libraries from the program's own library
// folder (capture library, mixer add-on, device add-on, in this order).
// Only the first of several start-ups does anything; call it before the
// first display exists.
void Spectrum3DUnitStartup();
// The same from `folder`: for tests only, which bind stand-in libraries.
void Spectrum3DUnitStartup(const std::string &folder);
// Unit shutdown: the start-up that matches the last shutdown gives the
// libraries back (mixer add-on, device add-on, capture library). Call it only
// after every display has stopped rendering.
void Spectrum3DUnitShutdown();

} // namespace hg
