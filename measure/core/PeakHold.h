// The capture callbacks of an input: the peak hold that the capture library
// runs for every captured block, on its own capture thread, and the record
// callback that keeps the capture going.
#pragma once

#include "audio/hushcapture.h"

#include <atomic>
#include <cstddef>

namespace hg {

// The largest |x| of `count` 32-bit float samples at `samples` (any
// alignment), 0 for none. A NaN never wins the comparison, so NaN samples
// are skipped; an infinity wins. Vectorised; the samples are not changed.
float BlockPeak(const void *samples, std::size_t count);

// DSPPROC of a capture channel. `user` points to the input's held peak, a
// std::atomic<float> that the window thread reads and zeroes at the same
// time: the block's peak (BlockPeak over length / 4 samples, both channels
// together) replaces the held value when it is larger, with one relaxed
// store. A trailing part of a sample (length not a multiple of 4) is
// ignored. Runs on the capture thread; allocates nothing.
void PeakHoldDSP(DWORD channel, HDSP handle, void *buffer, DWORD length, void *user);

// RECORDPROC of a capture channel: ignores the data and always answers
// "go on" (a value with all bits set). Runs on the capture thread.
BOOL RecordCallback(HRECORD handle, const void *buffer, DWORD length, void *user);

} // namespace hg
