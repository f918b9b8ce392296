/* Hushgauge capture add-ons: the C interface of the two optional libraries
 * that the spectrum display looks for at run time besides the capture
 * library itself (see hushcapture.h for the types).
 *
 *   libhushcapture_mix.so     the mixer add-on: reads from a mixer's source
 *                             channel.
 *   libhushcapture_device.so  the device add-on: reads from a device that
 *                             it opened itself, one "current device" per
 *                             calling thread.
 *
 * The product ships neither (nothing on Linux stands behind them), so the
 * display finds them absent; the tests build stand-ins under tests/fixtures/
 * to drive every data path. Nothing links these entry points: the display
 * binds them by name with dlopen/dlsym.
 *
 * Threads: any thread may call every function. Device selection
 * (BASS_WASAPI_SetDevice) affects only the calling thread.
 */
#ifndef HUSHGAUGE_CAPTURE_ADDONS_H
#define HUSHGAUGE_CAPTURE_ADDONS_H

#include "hushcapture.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The format of the calling thread's current device. */
typedef struct BASS_WASAPI_INFO {
    DWORD freq;  /* sample rate in Hz */
    DWORD chans; /* number of channels */
} BASS_WASAPI_INFO;

/* One device of the device add-on. */
typedef struct HG_ADDON_DEVICEINFO {
    const char *name; /* description, UTF-8; owned by the add-on */
    DWORD freq;       /* the device's own sample rate in Hz, 0 when unknown */
    DWORD flags;      /* BASS_DEVICE_* bits of hushcapture.h */
} HG_ADDON_DEVICEINFO;

/* Mixer add-on. Reads like BASS_ChannelGetData from `handle`, a source
 * channel of a mixer; (DWORD)-1 when `handle` is no such channel (the caller
 * then reads the channel directly). */
HGAPI DWORD BASS_Mixer_ChannelGetData(DWORD handle, void *buffer, DWORD length);

/* Device add-on. */
/* The calling thread's current device, or (DWORD)-1 when it has none. */
HGAPI DWORD BASS_WASAPI_GetDevice(void);
/* Makes an initialised device the calling thread's current one; FALSE when
 * `device` is not initialised (the current device is then unchanged). */
HGAPI BOOL BASS_WASAPI_SetDevice(DWORD device);
/* Information on device `device` (0, 1, 2, ...); FALSE past the end. */
HGAPI BOOL BASS_WASAPI_GetDeviceInfo(DWORD device, HG_ADDON_DEVICEINFO *info);
/* The format of the calling thread's current device. */
HGAPI BOOL BASS_WASAPI_GetInfo(BASS_WASAPI_INFO *info);
/* Reads from the current device as BASS_ChannelGetData does (same length
 * codes); (DWORD)-1 on failure. */
HGAPI DWORD BASS_WASAPI_GetData(void *buffer, DWORD length);

#ifdef __cplusplus
}
#endif

#endif
