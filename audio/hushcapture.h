/* Hushgauge capture library: the C interface.
 *
 * The one door to audio for the whole program. The main window links this
 * library directly; the spectrum display binds a few of its entry points at
 * run time (dlopen). Implemented over PulseAudio (libpulse, threaded main
 * loop) and FFTW in audio/lib/; nothing of PulseAudio shows through here.
 *
 * Threads: every function may be called from any thread. Error codes are kept
 * per calling thread (BASS_ErrorGetCode). The "current recording device" is
 * per thread too (BASS_RecordInit and BASS_RecordSetDevice set it).
 * Callbacks (RECORDPROC, DSPPROC) run on the library's own capture thread;
 * from inside them the control calls (BASS_Init, BASS_Free, the BASS_Record*
 * calls and BASS_ChannelSetDSP) fail with BASS_ERROR_CALLBACK instead of
 * locking up; the reads (BASS_ChannelGetData, BASS_ChannelIsActive,
 * BASS_ChannelGetInfo) work there. No callback runs after BASS_RecordFree or
 * BASS_Free has returned. What a callback's user value points to must stay
 * valid until then.
 *
 * The library never starts a sound server. When a source disappears or the
 * server dies, the channels on it are lost: inactive, and their reads fail
 * with BASS_ERROR_LOST. Once the server is back, initialising a device again
 * reconnects; list entries keep their identity by the source's server name.
 */
#ifndef HUSHGAUGE_CAPTURE_H
#define HUSHGAUGE_CAPTURE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(HG_CAPTURE_BUILD)
#define HGAPI __attribute__((visibility("default")))
#else
#define HGAPI
#endif

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef DWORD HRECORD; /* a capture channel; 0 = none */
typedef DWORD HDSP;    /* a DSP routine attached to a channel; 0 = none */

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* One capture device (a capture source of the sound server). */
typedef struct BASS_DEVICEINFO {
    const char *name;   /* the source's description, UTF-8; owned by the library */
    const char *driver; /* the source's server name, UTF-8; owned by the library */
    DWORD flags;        /* BASS_DEVICE_* bits */
} BASS_DEVICEINFO;

#define BASS_DEVICE_ENABLED 1u  /* the source exists on the server now */
#define BASS_DEVICE_INIT 4u     /* initialised by BASS_RecordInit */
#define BASS_DEVICE_MONITOR 8u  /* a monitor source (what a sink plays) */

/* Format of a channel. */
typedef struct BASS_CHANNELINFO {
    DWORD freq;  /* sample rate in Hz */
    DWORD chans; /* number of channels */
    DWORD flags; /* BASS_SAMPLE_* bits the channel was started with */
} BASS_CHANNELINFO;

/* Flags of BASS_RecordStart. */
#define BASS_SAMPLE_FLOAT 256u /* 32-bit floating-point samples */

/* Length codes of BASS_ChannelGetData. */
#define BASS_DATA_AVAILABLE 0u           /* bytes of captured data held for reads */
#define BASS_DATA_FFT256 0x80000000u     /* 128 magnitudes */
#define BASS_DATA_FFT512 0x80000001u     /* 256 magnitudes */
#define BASS_DATA_FFT1024 0x80000002u    /* 512 magnitudes */
#define BASS_DATA_FFT2048 0x80000003u    /* 1024 magnitudes */
#define BASS_DATA_FFT4096 0x80000004u    /* 2048 magnitudes */
#define BASS_DATA_FFT8192 0x80000005u    /* 4096 magnitudes */
#define BASS_DATA_FFT16384 0x80000006u   /* 8192 magnitudes */
#define BASS_DATA_FFT32768 0x80000007u   /* 16384 magnitudes */

/* Results of BASS_ChannelIsActive. */
#define BASS_ACTIVE_STOPPED 0u
#define BASS_ACTIVE_PLAYING 1u

/* Error codes (BASS_ErrorGetCode). The program shows them in its error boxes;
 * the README lists them with their meaning for users. */
#define BASS_OK 0
#define BASS_ERROR_SERVER 1   /* the sound server cannot be reached */
#define BASS_ERROR_DEVICE 2   /* no such device, or its source has gone */
#define BASS_ERROR_ALREADY 3  /* the device is already initialised */
#define BASS_ERROR_INIT 4     /* no current recording device on this thread */
#define BASS_ERROR_HANDLE 5   /* the handle is not a live channel */
#define BASS_ERROR_ILLPARAM 6 /* a parameter is out of range */
#define BASS_ERROR_FORMAT 7   /* the sample format is not supported */
#define BASS_ERROR_START 8    /* the server refused to start the capture */
#define BASS_ERROR_NOTAVAIL 9 /* the requested data is not available */
#define BASS_ERROR_MEM 10     /* out of memory */
#define BASS_ERROR_LOST 11    /* the channel's source or the server has gone */
#define BASS_ERROR_BUSY 12    /* already started (a channel exists on the device) */
#define BASS_ERROR_CALLBACK 13 /* not allowed from inside a capture callback */
#define BASS_ERROR_UNKNOWN 99 /* anything else */

/* Called for every captured block after the DSP routines. Return non-zero to
 * go on capturing. `buffer` holds `length` bytes of interleaved samples. */
typedef BOOL RECORDPROC(HRECORD handle, const void *buffer, DWORD length, void *user);

/* Called for every captured block before the record callback, in the order
 * of priority (higher first). The routine may read and change the samples. */
typedef void DSPPROC(DWORD channel, HDSP handle, void *buffer, DWORD length, void *user);

/* Starts the library (connects to the sound server). `device` 0 = no output
 * device, which is the only kind there is (any other: BASS_ERROR_DEVICE);
 * `freq`, `flags`, `win` and `clsid` are not used. FALSE with
 * BASS_ERROR_ALREADY when started twice, BASS_ERROR_SERVER when no server can
 * be reached. Recording works without it. */
HGAPI BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *clsid);
/* Shuts the library down: every recording device and channel is released and
 * the connection closed, also when the server is gone (it never waits for
 * it). TRUE if BASS_Init had succeeded, else FALSE with BASS_ERROR_INIT (the
 * devices are released all the same). */
HGAPI BOOL BASS_Free(void);
/* The code of the last failure on the calling thread (BASS_OK after a success). */
HGAPI int BASS_ErrorGetCode(void);

/* Information on recording device `device` (0, 1, 2, ...); FALSE past the end
 * (BASS_ERROR_DEVICE). The device list is taken once, at the first call that
 * reaches the server (while none could be reached it is empty and each call
 * tries again), in the server's order, input sources before monitor sources.
 * It never changes after that; BASS_DEVICE_ENABLED says whether the source
 * exists now. */
HGAPI BOOL BASS_RecordGetDeviceInfo(DWORD device, BASS_DEVICEINFO *info);
/* Opens recording device `device` and makes it the thread's current one.
 * FALSE with BASS_ERROR_DEVICE (no such entry, or its source is gone),
 * BASS_ERROR_ALREADY (initialised already, by any thread) or BASS_ERROR_SERVER. */
HGAPI BOOL BASS_RecordInit(int device);
/* The current volume of recording device `device`'s source, as the sound
 * server reports it, into `*volume`: linear, 1.0 = 100 % (the server's
 * software volume of each channel made linear, averaged over the channels;
 * the server's percentages are cubic, so its 50 % reads 0.125). The device
 * need not be initialised; the server is asked at every call. FALSE with
 * BASS_ERROR_ILLPARAM for a null `volume`, BASS_ERROR_DEVICE (no such entry,
 * or its source is gone), BASS_ERROR_SERVER; `*volume` is then unchanged. */
HGAPI BOOL BASS_RecordGetVolume(DWORD device, float *volume);
/* Makes an initialised device the thread's current one; FALSE otherwise. */
HGAPI BOOL BASS_RecordSetDevice(DWORD device);
/* The thread's current recording device, or (DWORD)-1 with an error code. */
HGAPI DWORD BASS_RecordGetDevice(void);
/* Releases the thread's current recording device and its channel. */
HGAPI BOOL BASS_RecordFree(void);
/* Starts capturing on the thread's current device; 0 on failure. Only
 * BASS_SAMPLE_FLOAT samples (else BASS_ERROR_FORMAT; other flag bits:
 * BASS_ERROR_ILLPARAM), at any rate from 1000 to 192000 Hz and 1 to 8
 * channels (else BASS_ERROR_FORMAT): the server converts from the source's
 * own format. One channel per device (a second start: BASS_ERROR_BUSY). The
 * capture never moves to another source. Blocks of at most 4096 frames go
 * through the DSP routines, into the kept frames and then to `proc` (may be
 * NULL); when `proc` returns FALSE the channel stops: inactive, its kept
 * frames still readable. */
HGAPI HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, void *user);

/* Attaches a DSP routine to a channel; 0 on failure (BASS_ERROR_HANDLE,
 * BASS_ERROR_ILLPARAM for no routine, BASS_ERROR_MEM past 64 routines). */
HGAPI HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, void *user, int priority);
/* Reads from a channel without removing anything; any number of threads may
 * read at once. The library keeps the latest 65536 frames.
 *   BASS_DATA_AVAILABLE: the number of bytes held (0 before the first block);
 *   BASS_DATA_FFTn: n/2 float magnitudes of the latest n frames (zeros in
 *     front while fewer have arrived; channels averaged; periodic Hann
 *     window; |X[k]| * 4 / n for k = 0 ... n/2 - 1, so that a full-scale
 *     sine centred on a bin reads 1.0);
 *   1 ... 0x3FFFFFFF: the latest whole frames that fit in `length` bytes,
 *     oldest first, fewer while fewer are held;
 *   any other length: BASS_ERROR_ILLPARAM.
 * Returns the number of bytes written (or held), or (DWORD)-1 on failure
 * (BASS_ERROR_HANDLE for a handle that names no channel, a released one
 * included; BASS_ERROR_LOST once its source or the server has gone). */
HGAPI DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);
/* BASS_ACTIVE_PLAYING while the channel captures, BASS_ACTIVE_STOPPED once it
 * is released, stopped or lost (and for any other handle). */
HGAPI DWORD BASS_ChannelIsActive(DWORD handle);
/* The channel's format (also of a lost or stopped channel). */
HGAPI BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info);

#ifdef __cplusplus
}
#endif

#endif
