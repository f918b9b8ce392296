// Fuzz target: the capture library's BASS_ChannelGetData with any handle,
// length and buffer. The capture starts once, before the first input, on
// the private sound server of scripts/with-servers; without one only
// invalid handles are tried. libFuzzer's thread.
#include "fuzz_checks.h"
#include "fuzz_main.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const std::string problem = hgfuzz::StartCaptureForFuzzing();
    if (problem.empty())
        std::fprintf(stderr, "capture_getdata: live channel on \"Hushgauge Test Input 1\"\n");
    else
        std::fprintf(stderr, "capture_getdata: %s; fuzzing invalid handles only\n", problem.c_str());
    return 0;
}

HG_FUZZ_TARGET(hgfuzz::CheckCaptureGetDataInput)
