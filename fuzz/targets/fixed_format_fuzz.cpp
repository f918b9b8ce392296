// Fuzz target: the readout's number texts from any double (FormatFixed,
// Percentage2dBStr, PeakPercentageStr, ReadoutText). libFuzzer's thread.
#include "fuzz_checks.h"
#include "fuzz_main.h"

HG_FUZZ_TARGET(hgfuzz::CheckFixedFormatInput)
