// Value block and sample rate of a frame (see Spectrum3DData.h). Render
// thread; no allocation.
#include "Spectrum3DData.h"

#include <algorithm>

namespace hg {
namespace {

constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr DWORD kFFTFlag = 0x80000000u;
constexpr DWORD kBlockBytes = static_cast<DWORD>(kValueBlockSize * sizeof(float));

bool DeviceChannel(const TAudioBinding &lib, DWORD channel)
{
    return lib.BASSWASAPILoaded && channel > 0 && channel < 255;
}

void FillZeros(TValueBlock block) { std::fill(block.begin(), block.end(), 0.0f); }

TFetchOutcome FetchFromSources(const TAudioBinding &lib, const THostFFTSources &host, DWORD channel,
                               DWORD request, TValueBlock block)
{
    const int32_t count = static_cast<int32_t>(kValueBlockSize);
    if (host.event != nullptr)
        return host.event(host.eventContext, block.data(), count) != 0 ? TFetchOutcome::Values
                                                                       : TFetchOutcome::NoNewData;
    if (host.callback != nullptr)
        return host.callback(host.display, block.data(), count) != 0 ? TFetchOutcome::Values
                                                                     : TFetchOutcome::NoNewData;
    if (DeviceChannel(lib, channel)) {
        const DWORD previous = lib.BASS_WASAPI_GetDevice();
        TFetchOutcome outcome = TFetchOutcome::Zeros;
        if (lib.BASS_WASAPI_SetDevice(channel - 1)) {
            if (lib.BASS_WASAPI_GetData(block.data(), request) != kFailed)
                outcome = TFetchOutcome::Values;
            else
                FillZeros(block);
        } else {
            FillZeros(block);
        }
        lib.BASS_WASAPI_SetDevice(previous);
        return outcome;
    }
    if (lib.BASSLoaded) {
        if (lib.BASS_ChannelIsActive(channel) != BASS_ACTIVE_PLAYING) {
            FillZeros(block);
            return TFetchOutcome::Zeros;
        }
        if (lib.BASSmixLoaded && lib.BASS_Mixer_ChannelGetData(channel, block.data(), request) != kFailed)
            return TFetchOutcome::Values;
        if (lib.BASS_ChannelGetData(channel, nullptr, BASS_DATA_AVAILABLE) == 0)
            return TFetchOutcome::NoNewData;
        lib.BASS_ChannelGetData(channel, block.data(), request);
        return TFetchOutcome::Values;
    }
    return TFetchOutcome::Zeros;
}

} // namespace

DWORD ClampFFTRequest(DWORD fftSize)
{
    if (fftSize & kFFTFlag)
        return fftSize <= kLargestFFTRequest ? fftSize : kLargestFFTRequest;
    return std::min(fftSize, kBlockBytes);
}

TFetchResult FetchFFTData(const TAudioBinding &lib, const THostFFTSources &host, DWORD channel,
                          DWORD fftSize, TValueBlock block) noexcept
{
    // Zeros first, so that a source that fills less than the whole block, or
    // one that fails half-way, leaves nothing undefined behind.
    FillZeros(block);
    try {
        return TFetchResult{FetchFromSources(lib, host, channel, ClampFFTRequest(fftSize), block), false};
    } catch (...) {
        return TFetchResult{TFetchOutcome::Values, true};
    }
}

int64_t CaptionSampleRate(const TAudioBinding &lib, int32_t customRate, DWORD channel)
{
    int64_t rate = 0;
    if (customRate != 0) {
        rate = customRate;
    } else if (DeviceChannel(lib, channel)) {
        const DWORD previous = lib.BASS_WASAPI_GetDevice();
        if (lib.BASS_WASAPI_SetDevice(channel - 1)) {
            BASS_WASAPI_INFO info{};
            lib.BASS_WASAPI_GetInfo(&info);
            rate = info.freq;
        }
        lib.BASS_WASAPI_SetDevice(previous);
    } else if (lib.BASSLoaded) {
        BASS_CHANNELINFO info{};
        lib.BASS_ChannelGetInfo(channel, &info);
        rate = info.freq;
    }
    return rate < 1 ? 48000 : rate;
}

} // namespace hg
