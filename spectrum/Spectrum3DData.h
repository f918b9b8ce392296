// Where the spectrum display gets its data: the value block of one frame
// (from the host's two sources or the bound libraries) and the sample rate
// for the frequency captions. Called on the render thread (once on the
// window thread when a device is made); host sources run on that thread.
// No Qt, no GL, no allocation.
#pragma once

#include "Spectrum3DBinding.h"
#include "Spectrum3DVertexes.h"

#include <cstdint>

namespace hg {

// The plain-function data source a host may set (`CallbackOnNeedFFTData`):
// fills `ValuesCount` floats at `Data` and returns non-zero, or returns 0
// when it has no new data. `Display` is the display.
using t_Spectrum3D_OnNeedFFTData = int32_t (*)(void *Display, float *Data, int32_t ValuesCount);

// The host's two sources as this code sees them. The display's
// `OnNeedFFTData` event is reached through `event` (a trampoline that the
// display sets up over its own handler, with `eventContext` as its first
// argument), so this code needs no Qt type. Either may be empty.
struct THostFFTSources {
    int32_t (*event)(void *eventContext, float *Data, int32_t ValuesCount) = nullptr;
    void *eventContext = nullptr;
    t_Spectrum3D_OnNeedFFTData callback = nullptr;
    void *display = nullptr;
};

// What one fetch gave.
enum class TFetchOutcome {
    NoNewData, // a source had nothing new: keep the previous curve, convert nothing
    Zeros,     // no source could deliver (inactive channel, failed device, none bound): flat curve
    Values,    // the block holds fresh data
};

struct TFetchResult {
    TFetchOutcome outcome;
    // A host source or a library call threw: the display reports
    // kFetchExceptionError, then converts whatever the block holds
    // (`outcome` is then Values).
    bool exceptionRaised;
};

inline constexpr const char *kFetchExceptionError = "Error: Exception: BASS_ChannelGetData()";

// The largest request the value block can take: a 4096-point spectrum fills
// exactly its 2048 floats.
inline constexpr DWORD kLargestFFTRequest = BASS_DATA_FFT4096;

// `fftSize` made safe for the value block. The libraries write as many values
// as the request asks for, so a larger spectrum (8192 points and up, or any
// other spectrum code) is clamped to the 4096-point one, and a plain byte
// count to the block's 8192 bytes. Smaller requests pass unchanged.
DWORD ClampFFTRequest(DWORD fftSize);

// Fills `block` with the frame's values: first zero-filled, then from the
// first source that applies, in this order:
//  1. the host's event, else 2. the host's callback (a result of 0 from
//     either: NoNewData);
//  3. the device add-on, when bound and 0 < channel < 255: device channel - 1
//     is made current for the read and the thread's previous current device
//     is made current again afterwards (a failed switch or read: Zeros);
//  4. the capture library, when bound: an inactive channel gives Zeros;
//     else the mixer add-on's read (when bound), and when that gives -1 or is
//     not bound, the availability probe (0 bytes held: NoNewData) and the
//     plain read;
//  5. else Zeros.
// An exception from any source is caught and flagged (see TFetchResult).
TFetchResult FetchFFTData(const TAudioBinding &lib, const THostFFTSources &host, DWORD channel,
                          DWORD fftSize, TValueBlock block) noexcept;

// The sample rate for the frequency captions: `customRate` when it is not 0;
// else that of device channel - 1 of the device add-on (when bound and 0 <
// channel < 255; the previous current device is made current again); else
// that of the channel from the capture library (when bound). 48000 whenever
// that leaves no rate of at least 1 Hz.
int64_t CaptionSampleRate(const TAudioBinding &lib, int32_t customRate, DWORD channel);

} // namespace hg
